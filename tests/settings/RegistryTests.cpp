#include "settings/Registry.h"

#include "TempHive.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace settings;

namespace {

const QString kTestKey = QStringLiteral("SOFTWARE\\Zelvano\\Tests");

QByteArray utf16(const char16_t* s, int units) {
    return QByteArray(reinterpret_cast<const char*>(s), units * 2);
}

QByteArray bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list)
        b.append(static_cast<char>(v));
    return b;
}

struct ReadCase {
    const char* what;
    DWORD type;
    QByteArray data;
    QString text;
    int32_t number;
};

class RegistryTest : public ::testing::Test {
protected:
    TempHive hive;
};

TEST_F(RegistryTest, ReadRulesForEveryStoredType) {
    const ReadCase cases[] = {
        {"text number", REG_SZ, utf16(u"12", 3), "12", 12},
        {"text not a number", REG_SZ, utf16(u"abc", 4), "abc", 0},
        {"text number out of range", REG_SZ, utf16(u"2147483648", 11), "2147483648", 0},
        {"negative text number", REG_SZ, utf16(u"-7", 3), "-7", -7},
        {"text without its NUL", REG_SZ, utf16(u"xy", 2), "xy", 0},
        {"text of one byte", REG_SZ, bytes({'A'}), "", 0},
        {"text of no bytes", REG_SZ, QByteArray(), "", 0},
        {"text with odd trailing byte", REG_SZ, utf16(u"34", 2) + bytes({'5'}), "34", 34},
        {"expandable text is not expanded", REG_EXPAND_SZ, utf16(u"%TEMP%\\x", 9), "%TEMP%\\x", 0},
        {"multi-string gives the first", REG_MULTI_SZ, utf16(u"first\0second\0", 14), "first", 0},
        {"multi-string number", REG_MULTI_SZ, utf16(u"5\0" u"6\0", 5), "5", 5},
        {"dword all ones", REG_DWORD, bytes({0xFF, 0xFF, 0xFF, 0xFF}), "4294967295", -1},
        {"dword", REG_DWORD, bytes({0x2A, 0, 0, 0}), "42", 42},
        {"short dword", REG_DWORD, bytes({0x01, 0x01}), "257", 257},
        {"oversized dword", REG_DWORD, bytes({7, 0, 0, 0, 1, 0, 0, 0}), "7", 0},
        {"qword negative", REG_QWORD, bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "-2",
         -2},
        {"qword low bits", REG_QWORD, bytes({5, 0, 0, 0, 1, 0, 0, 0}), "4294967301", 5},
        {"binary as text", REG_BINARY, utf16(u"AB\0Z", 4), "AB", 0},
        {"binary of four bytes", REG_BINARY, bytes({0x78, 0x56, 0x34, 0x12}), QString::fromUtf16(u"\u5678\u1234"), 0x12345678},
        {"binary little-endian", REG_BINARY, bytes({0x01, 0x02}), QString(QChar(0x0201)), 0x0201},
        {"binary longer than 4 bytes", REG_BINARY, utf16(u"abc", 3), "abc", 0},
        {"none as text", REG_NONE, utf16(u"x", 1), "x", 'x'},
        {"link type reads as nothing", platform::REG_LINK, utf16(u"abc", 4), "", 0},
        {"big-endian dword reads as nothing", platform::REG_DWORD_BIG_ENDIAN,
         bytes({0, 0, 0, 1}), "", 0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QString::fromLatin1(c.what);
        ASSERT_TRUE(RegWriteValue(HKEY_LOCAL_MACHINE, kTestKey, name, c.type, c.data.constData(),
                                  static_cast<DWORD>(c.data.size())));
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kTestKey, name), c.text);
        EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, kTestKey, name), c.number);
        EXPECT_TRUE(RegValueExists(HKEY_LOCAL_MACHINE, kTestKey, name));
    }
}

TEST_F(RegistryTest, MissingKeysAndValuesReadAsDefaults) {
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OptionsKey));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"), QString());
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckBox_ORB_ShowOwnGroup"), 0);
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"));
    EXPECT_FALSE(RegRemoveValue(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"));

    ASSERT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights", 1));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, ProductKey)); // created on the way
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"));
    EXPECT_TRUE(RegRemoveValue(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights"));
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights"));
    EXPECT_FALSE(RegRemoveValue(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights"));
    // The two roots are separate trees.
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, OptionsKey));
}

TEST_F(RegistryTest, WrittenStringsKeepTheirNulAndEmptyOnesHaveNoData) {
    using namespace platform;
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Grüne Wiese"));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Name_OwnGroup", ""));

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, OptionsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key, "UseSkin", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 2u * (11 + 1));
    ASSERT_EQ(RegQueryValueExW(key, "Edit_ORB_Name_OwnGroup", &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 0u);
    RegCloseKey(key);

    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"), "Grüne Wiese");
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Name_OwnGroup"), "");
    EXPECT_TRUE(RegValueExists(HKEY_LOCAL_MACHINE, OptionsKey, "Edit_ORB_Name_OwnGroup"));
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepIt) {
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Zelvano\\ÄrgerKey", "UseSkin", "a"));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZELVANO\\äRGERKEY", "USESKIN", "b"));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZELVANO\\äRGERKEY", "", "default"));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "software\\zelvano\\ärgerkey", "useskin"), "b");
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "software\\zelvano\\ärgerkey", ""), "default");

    using namespace platform;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, "SOFTWARE\\zelvano", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    QString name;
    ASSERT_EQ(RegEnumKeyExW(key, 0, &name), ERROR_SUCCESS);
    EXPECT_EQ(name, "ÄrgerKey"); // the case it was created with
    EXPECT_EQ(RegEnumKeyExW(key, 1, &name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, "SOFTWARE\\zelvano\\ÄRGERKEY", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    QStringList values;
    for (DWORD i = 0; RegEnumValueW(key, i, &name) == ERROR_SUCCESS; ++i)
        values << name;
    EXPECT_EQ(values, QStringList({"", "UseSkin"}));
    RegCloseKey(key);
}

TEST_F(RegistryTest, AccessMasksFollowTheRegistryView) {
    InitRegistryAccess();
    EXPECT_FALSE(UseRegistry64View); // no WOW64 here
    EXPECT_EQ(RegistryReadAccess(), 0x20019u);
    EXPECT_EQ(RegistryWriteAccess(), 0xF003Fu);

    // With the 64-bit view the masks carry KEY_WOW64_64KEY, which the hive accepts.
    UseRegistry64View = true;
    EXPECT_EQ(RegistryReadAccess(), 0x20119u);
    EXPECT_EQ(RegistryWriteAccess(), 0xF013Fu);
    EXPECT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights", 1));
    EXPECT_EQ(RegReadInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights"), 1);
    EXPECT_TRUE(RegDeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKey));
    UseRegistry64View = false;
}

TEST_F(RegistryTest, KeysOpenedForReadingRefuseWrites) {
    using namespace platform;
    ASSERT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights", 1));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, OptionsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    const BYTE one[4] = {1, 0, 0, 0};
    EXPECT_EQ(RegSetValueExW(key, "X", REG_DWORD, one, 4), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(key, "CheckRights"), ERROR_ACCESS_DENIED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, "New", 0, KEY_ALL_ACCESS, &sub), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE); // closed handles are refused, not used
    EXPECT_EQ(RegQueryValueExW(key, "CheckRights", nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesNestedKeys) {
    const QString base = ProductKey + "\\Tree";
    for (const char* sub : {"\\A\\B\\C", "\\A\\B2", "\\D", ""})
        ASSERT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, base + sub, "V", 1));
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, ProductKey, "Edition", "Free"));

    EXPECT_TRUE(RegDeleteKeyTree(HKEY_LOCAL_MACHINE, base));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, base));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, base + "\\A\\B\\C"));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, ProductKey, "Edition"), "Free");
    // Recreating the path finds none of the old values.
    ASSERT_TRUE(RegWriteInteger(HKEY_LOCAL_MACHINE, base + "\\A\\B\\C", "W", 2));
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, base + "\\A\\B\\C", "V"));

    EXPECT_TRUE(RegDeleteKeyTree(HKEY_LOCAL_MACHINE, ProductKey + "\\Missing"));
    // A root is never wiped, not even through an empty path.
    EXPECT_FALSE(RegDeleteKeyTree(HKEY_LOCAL_MACHINE, ""));
    EXPECT_FALSE(RegDeleteKeyTree(HKEY_LOCAL_MACHINE, "\\"));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, ProductKey, "Edition"), "Free");
}

// The machine-wide hive is root's: another user reads it but every write fails, which is what
// the start-up rights test relies on.
TEST_F(RegistryTest, HiveOfAnotherOwnerIsReadOnly) {
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Blue"));
    platform::CloseMachineHive();
    ASSERT_EQ(::chmod(hive.folder().toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(::chmod(hive.path().c_str(), 0644), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As root, become an ordinary user first; otherwise make the file read-only.
        if (geteuid() == 0 ? setgid(65534) != 0 || setuid(65534) != 0
                           : ::chmod(hive.path().c_str(), 0444) != 0)
            _exit(10);
        int failures = 0;
        failures += RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin") != "Blue";
        failures += RegWriteInteger(HKEY_LOCAL_MACHINE, OptionsKey, "CheckRights", 1);
        failures += RegWriteString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin", "Red");
        failures += RegRemoveValue(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin");
        failures += RegDeleteKeyTree(HKEY_LOCAL_MACHINE, OptionsKey);
        failures += RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin") != "Blue";
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, OptionsKey, "UseSkin"), "Blue");
}

} // namespace
