// The platform core: debug channel, ownerless message boxes, the time-sliced pump, module
// loading and the lossless name mapping.

#include "platform/Debug.h"
#include "platform/MessageBox.h"
#include "platform/Module.h"
#include "platform/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/Pump.h"
#include "platform/Tick.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>

#include <chrono>
#include <thread>

namespace {

TEST(DebugChannel, CapturesLinesInnermostFirst) {
    platform::DebugCapture outer;
    platform::OutputDebugStringW("one");
    {
        platform::DebugCapture inner;
        platform::OutputDebugStringW("two");
        EXPECT_EQ(inner.lines(), QStringList{"two"});
    }
    platform::OutputDebugStringW("three");
    EXPECT_EQ(outer.lines(), (QStringList{"one", "three"}));
    EXPECT_TRUE(outer.contains("hre"));
}

TEST(MessageBox, ErrorBoxWithoutGuiGoesToStderr) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    testing::internal::CaptureStderr();
    platform::ErrorBox("Something failed");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Zelvano Orbisca 2024: Something failed\n");
}

TEST(MessageBox, HandlerReplacesThePresentation) {
    QString text, caption;
    unsigned type = 0;
    platform::SetMessageBoxHandler([&](const QString& t, const QString& c, unsigned ty) {
        text = t, caption = c, type = ty;
        return platform::IDOK;
    });
    platform::ErrorBox("Stop");
    platform::SetMessageBoxHandler({});
    EXPECT_EQ(text, "Stop");
    EXPECT_EQ(caption, "Zelvano Orbisca 2024");
    EXPECT_EQ(type, platform::MB_ICONSTOP | platform::MB_OK);
}

TEST(Module, DllNamesLoadTheSharedObject) {
    const QString folder = platform::WindowsPath(TESTSERVICE_DIR);
    ASSERT_FALSE(folder.isEmpty());
    for (const char* name : {"\\undelete.dll", "\\UNDELETE.so"}) {
        SCOPED_TRACE(name);
        platform::HMODULE m = platform::LoadLibraryW(folder + QString::fromUtf8(name));
        if (QString::fromUtf8(name).endsWith(".dll")) {
            ASSERT_NE(m, nullptr);
            EXPECT_NE(platform::GetProcAddress(m, "UndeleteDLLEntryW"), nullptr);
            EXPECT_EQ(platform::GetProcAddress(m, "NoSuchFunction"), nullptr);
            EXPECT_TRUE(platform::FreeLibrary(m));
        } else {
            EXPECT_EQ(m, nullptr); // only the .dll suffix is mapped; names are case-sensitive
        }
    }
    EXPECT_EQ(platform::LoadLibraryW("Q:\\unmapped\\undelete.dll"), nullptr);
    EXPECT_EQ(platform::GetProcAddress(nullptr, "x"), nullptr);
}

TEST(ProgramFolder, IsTheExecutablesFolderUnlessSet) {
    const QString folder = platform::ProgramFolder();
    ASSERT_TRUE(folder.startsWith("C:\\"));
    EXPECT_FALSE(folder.endsWith('\\'));
    // The Windows form maps back to the folder that holds this test program.
    EXPECT_EQ(platform::NativePath(folder), std::string(TEST_BINARY_DIR));
    platform::SetProgramFolder("C:\\opt\\x");
    EXPECT_EQ(platform::ProgramFolder(), "C:\\opt\\x");
}

TEST(Names, MapLosslesslyBothWays) {
    const std::string cases[] = {
        "plain.txt", "Gr\xC3\xBC\xC3\x9F" "e", "back\\slash", "bad\xFF\xFE" "bytes", "lone\x80",
        "trunc\xE2\x82", "overlong\xC0\xAF", "surrogate\xED\xA0\x80", "pua\xEF\x81\x9C",
        "emoji\xF0\x9F\x98\x80", " lead and trail ", "ctl\x01\x1F", ""};
    for (const std::string& native : cases) {
        SCOPED_TRACE(native);
        const QString shown = platform::DisplayName(native);
        EXPECT_EQ(platform::NativeName(shown), native);
        EXPECT_FALSE(shown.contains(u'\\'));
    }
    EXPECT_EQ(platform::DisplayName("a\\b"), QStringView(u"a\uF05Cb").toString());
    EXPECT_EQ(platform::DisplayName("x\xFF"), QString(u'x') + QChar(0xDCFF));
    EXPECT_EQ(platform::DisplayName("\xC3\xA4"), QString(QChar(0xE4)));
}

TEST(Paths, WindowsAndNativePathsMapThroughTheDriveRoots) {
    EXPECT_EQ(platform::NativePath("C:\\"), "/");
    EXPECT_EQ(platform::NativePath("c:\\home\\ann\\x.txt"), "/home/ann/x.txt");
    EXPECT_EQ(platform::WindowsPath("/home/ann/x.txt"), "C:\\home\\ann\\x.txt");
    EXPECT_EQ(platform::WindowsPath("/"), "C:\\");
    platform::SetDriveRoot(u'T', "/tmp/orbisca-t/");
    const QString withBackslash = QStringView(u"T:\\a\uF05Cb").toString();
    EXPECT_EQ(platform::NativePath(withBackslash), "/tmp/orbisca-t/a\\b");
    EXPECT_EQ(platform::WindowsPath("/tmp/orbisca-t/a\\b"), withBackslash);
    EXPECT_EQ(platform::WindowsPath("/tmp/orbisca-tx"), "C:\\tmp\\orbisca-tx");
    platform::SetDriveRoot(u'T', "");
    EXPECT_EQ(platform::NativePath("T:\\a"), "");
    EXPECT_EQ(platform::WindowsPath("relative/path"), "");
}

TEST(Pump, ProcessesEventsAtMostOncePerSlice) {
    int argc = 1;
    char name[] = "platform_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    struct Counter : QObject {
        int delivered = 0;
        bool pending = false;
        bool event(QEvent* e) override {
            if (e->type() != QEvent::User)
                return QObject::event(e);
            ++delivered;
            pending = false;
            return true;
        }
        void post() {
            if (!pending)
                QCoreApplication::postEvent(this, new QEvent(QEvent::User));
            pending = true;
        }
    } counter;

    counter.post();
    platform::ProcessMessages(true);
    EXPECT_EQ(counter.delivered, 1); // forced: at once

    // Millions of pump points may pass in a scan; only one per slice really pumps. One event is
    // kept pending, so each real pump delivers exactly one.
    counter.delivered = 0;
    const auto start = std::chrono::steady_clock::now();
    long points = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(120)) {
        counter.post();
        platform::ProcessMessages();
        ++points;
    }
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
    EXPECT_GE(counter.delivered, 1);
    EXPECT_LE(counter.delivered, elapsedMs / platform::kPumpSliceMs + 2);
    EXPECT_GT(points, counter.delivered * 10L);
}

TEST(Tick, IsMillisecondsOfASteadyClock) {
    const uint32_t a = platform::timeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint32_t b = platform::timeGetTime();
    EXPECT_GE(static_cast<uint32_t>(b - a), 19u); // unsigned difference survives the wrap
    EXPECT_LT(static_cast<uint32_t>(b - a), 5000u);
}

} // namespace
