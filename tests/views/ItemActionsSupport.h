#pragma once

// The analyser window with its item actions on fixture drives: the real trasher on a temporary
// data folder, a recording stand-in of the desktop, scripted answers to every message, and a
// tmpfs as second volume. Shared by the tests of the actions, the keyboard and the permanent
// delete.

#include "AnalyserTestSupport.h"

#include "analysis/nogui_Orbisca.h"
#include "i18n/ProjectMessages.h"
#include "platform/AppInfo.h"
#include "platform/Shell.h"
#include "platform/Trash.h"
#include "platform/UserSession.h"
#include "skin/HTMLabel.h"
#include "skin/LumoButton2.h"
#include "views/AnalyserStart.h"
#include "views/DirectoryListBox.h"
#include "views/DriveComboBoxEx.h"
#include "views/FileFormats.h"
#include "views/FilterRules.h"
#include "views/FormORB.h"
#include "views/StatusText.h"
#include "views/VirtualDrawTree.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

extern bool g_privateMounts;

namespace item_actions_test {

using analysis::PNode;
using forms_test::Find;
using forms_test::WaitFor;
using i18n::Message;
using i18n::Msg;
using views::TForm_ORB;

// M: of most tests is the sample drive of the window tests (WriteSampleDrive).
constexpr uint32_t kFiles = forms_test::kSampleFiles;
constexpr int64_t kBytes = forms_test::kSampleBytes;

inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file with exactly these name bytes (folders made as needed by the caller).
inline void writeRaw(const std::string& path, const std::string& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, content.data(), content.size()), ssize_t(content.size()));
    ::close(fd);
}

inline void removeTree(const std::string& path) {
    ::nftw(
        path.c_str(),
        [](const char* p, const struct stat*, int type, FTW*) {
            if (type == FTW_DP)
                ::rmdir(p);
            else
                ::unlink(p);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

struct Box {
    QString text, caption;
    unsigned type;
};

class ItemActions : public forms_test::AnalyserWindowTest {
protected:
    void SetUp() override {
        AnalyserWindowTest::SetUp();
        if (HasFatalFailure())
            return;

        // The user's trash lives in a data folder of the test's own, on the volume of M:.
        ASSERT_TRUE(data_.isValid());
        dataHome_ = data_.filePath(QStringLiteral("data")).toStdString();
        platform::SessionProbe probe = platform::SystemSessionProbe();
        probe.environment = {{"XDG_DATA_HOME", dataHome_}};
        const std::string home = data_.path().toStdString();
        probe.lookupUser = [home](uid_t uid) -> std::optional<platform::PasswdEntry> {
            return platform::PasswdEntry{uid, static_cast<gid_t>(::getegid()), "tester", home};
        };
        const platform::UserSession user = platform::ResolveUserSession(probe);
        trash_ = dataHome_ + "/Trash";
        platform::SetTrashHandler([this, user](const std::vector<platform::ListedItem>& items) {
            std::vector<std::string> paths;
            for (const platform::ListedItem& item : items)
                paths.push_back(item.Path());
            trashCalls.push_back(paths);
            return platform::MoveToTrash(items, user);
        });
        platform::SetShellHandler([this](const platform::ShellRequest& request) {
            shellRequests.push_back(request);
            return true;
        });
        platform::SetMessageBoxHandler(
            [this](const QString& text, const QString& caption, unsigned type) {
                messages.push_back({text, caption, type});
                if ((type & 0x0F) == platform::MB_YESNO)
                    return answer;
                return int(platform::IDOK);
            });
    }

    void TearDown() override {
        closeWindow();
        platform::SetTrashHandler({});
        platform::SetShellHandler({});
        for (const std::string& mount : mounts_)
            ::umount2(mount.c_str(), MNT_DETACH);
        // Names that are not UTF-8 are beyond QDir's removal: the folders go natively.
        removeTree(m_);
        removeTree(data_.path().toStdString());
        AnalyserWindowTest::TearDown();
    }

    QStringList selectedRows() const {
        QStringList out;
        for (views::RowId r : list().SelectedRows())
            out << list().RowPath(r);
        return out;
    }
    // Selects exactly the rows of these paths.
    void select(const QStringList& paths) {
        list().ClearSelection();
        for (const QString& p : paths) {
            bool found = false;
            for (int i = 0; i < list().VisibleRowCount(); ++i) {
                if (list().RowPath(list().VisibleRow(i)) == p) {
                    list().SelectRow(list().VisibleRow(i), true);
                    found = true;
                }
            }
            ASSERT_TRUE(found) << p.toStdString();
        }
    }
    // Opens the context menu as a right click does and chooses an item; false when the item
    // was disabled.
    bool choose(QAction* item) {
        QMenu* menu = Find<QMenu>(window.get(), "AdvPopupMenu_ORB");
        menu->popup(list().viewport()->mapToGlobal(QPoint(20, 20)));
        const bool enabled = item->isEnabled();
        menu->hide();
        if (enabled)
            item->trigger();
        return enabled;
    }
    QString summary(uint64_t shown, uint32_t files, int64_t size) const {
        return views::StatusSummary(Message(Msg::MESSAGEHTML_ORB_STATUS_DONE), shown, files, size,
                                    analysis::UserNumberFormat());
    }
    std::string native(const char* relative) const { return m_ + "/" + relative; }
    std::string trashed(const std::string& name) const { return trash_ + "/files/" + name; }
    std::string record(const std::string& name) const {
        return readFile(trash_ + "/info/" + name + ".trashinfo");
    }

    // Every node's size and counts and the engine's totals, by path.
    using Tally = std::map<QString, std::tuple<int64_t, uint32_t, uint32_t, bool>>;
    Tally tally() const {
        Tally t;
        const analysis::TAnalysisTree& tree = window->VirtualDrawTree1;
        for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n))
            t[tree.Path(n)] = {tree.Size(n), tree.FolderCount(n), tree.FileCount(n),
                               tree.IsFolder(n)};
        t[QStringLiteral("(totals)")] = {window->Orbisca->TotalSize(),
                                         window->Orbisca->TotalFiles(),
                                         window->Orbisca->TotalFolders(), false};
        return t;
    }
    // What a delete left is what a new analysis of the drive finds.
    void expectSameAsANewAnalysis() {
        const Tally after = tally();
        Find<skin::TLumoButton2>(window.get(), "LumoButton_Analyse")->Click();
        EXPECT_EQ(after, tally());
    }
    const Box* question() const {
        for (const Box& b : messages)
            if ((b.type & 0x0F) == platform::MB_YESNO)
                return &b;
        return nullptr;
    }
    QStringList failureMessages() const {
        QStringList out;
        for (const Box& b : messages)
            if ((b.type & 0x0F) == platform::MB_OK)
                out << b.text;
        return out;
    }

    // A tmpfs as a second volume mapped to a letter; empty when mounting is impossible here.
    std::string mountVolume(char16_t letter) {
        const std::string path =
            data_.filePath(QStringLiteral("vol-")).toStdString() + char(letter);
        ::mkdir(path.c_str(), 0755);
        if (!g_privateMounts || ::mount("orbisca-test", path.c_str(), "tmpfs", 0, "mode=0755") != 0)
            return {};
        mounts_.push_back(path);
        platform::SetDriveRoot(letter, path);
        return path;
    }
    // Analyses one drive that the window would not offer itself (a RAM disk).
    void analyseOnly(char16_t letter) {
        window = std::make_unique<TForm_ORB>(nullptr, &host);
        window->resize(1122, 680);
        window->show();
        Find<views::TDriveComboBoxEx>(window.get(), "DriveComboBoxEx1")->FillFromDriveTable();
        Find<views::TDriveComboBoxEx>(window.get(), "DriveComboBoxEx1")
            ->RemoveEntriesWhere([letter](char16_t l) { return l != letter; });
        Find<skin::TLumoButton2>(window.get(), "LumoButton_Analyse")->Click();
        ASSERT_EQ(window->Orbisca->Analysed_Drive(), QString(QChar(letter)) + ":\\");
    }

    std::string dataHome_, trash_;
    QTemporaryDir data_;
    std::vector<std::string> mounts_;
    std::vector<std::vector<std::string>> trashCalls;
    std::vector<platform::ShellRequest> shellRequests;
    std::vector<Box> messages;
    int answer = platform::IDYES;
};

} // namespace item_actions_test
