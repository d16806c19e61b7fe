#include "settings/Registry.h"

#include "settings/EnvHelpers.h"

#include <QByteArray>
#include <QStringList>

#include <mutex>

namespace settings {

using namespace platform;

bool UseRegistry64View = false;

namespace {

using DeleteKeyExFn = LSTATUS (*)(HKEY, const QString&, REGSAM, DWORD);
DeleteKeyExFn g_RegDeleteKeyExW = nullptr;
std::once_flag g_initOnce;

// An open key that closes itself.
class Key {
public:
    Key(HKEY root, const QString& path, REGSAM access, bool create) {
        status_ = create ? RegCreateKeyExW(root, path, 0, access, &key_)
                         : RegOpenKeyExW(root, path, 0, access, &key_);
    }
    ~Key() {
        if (status_ == ERROR_SUCCESS)
            RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    bool ok() const { return status_ == ERROR_SUCCESS; }
    HKEY handle() const { return key_; }

private:
    HKEY key_ = nullptr;
    LSTATUS status_ = ERROR_INVALID_HANDLE;
};

// Type and bytes of a value; the size is asked first and nothing is read when it is 0.
bool queryValue(HKEY root, const QString& path, const QString& name, DWORD* type,
                QByteArray* data) {
    Key key(root, path, RegistryReadAccess(), false);
    if (!key.ok())
        return false;
    DWORD size = 0;
    if (RegQueryValueExW(key.handle(), name, type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    data->clear();
    if (size == 0)
        return true;
    data->resize(size);
    if (RegQueryValueExW(key.handle(), name, type, reinterpret_cast<BYTE*>(data->data()),
                         &size) != ERROR_SUCCESS)
        return false;
    data->resize(size);
    return true;
}

bool isTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-16 little-endian units up to the first NUL; a trailing odd byte is no character.
QString textUpToNul(const QByteArray& data) {
    QString s;
    const auto* b = reinterpret_cast<const unsigned char*>(data.constData());
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const auto unit = static_cast<char16_t>(b[i] | (b[i + 1] << 8));
        if (unit == 0)
            break;
        s.append(QChar(unit));
    }
    return s;
}

// The first up to 8 bytes as a little-endian number.
uint64_t littleEndian(const QByteArray& data, qsizetype maxBytes) {
    uint64_t v = 0;
    const qsizetype n = std::min(data.size(), maxBytes);
    for (qsizetype i = n - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(data[i]);
    return v;
}

QByteArray utf16WithNul(const QString& text) {
    QByteArray out;
    out.reserve((text.size() + 1) * 2);
    for (const QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    out.append('\0');
    out.append('\0');
    return out;
}

bool isRootPath(const QString& path) {
    for (const QChar c : path)
        if (c != QLatin1Char('\\'))
            return false;
    return true;
}

// Subkeys first, depth first. The names are collected before anything is deleted, since
// deleting shifts the enumeration indexes.
void deleteTree(HKEY root, const QString& path) {
    QStringList children;
    {
        Key key(root, path, RegistryWriteAccess(), false);
        if (!key.ok())
            return;
        QString name;
        for (DWORD i = 0; RegEnumKeyExW(key.handle(), i, &name) == ERROR_SUCCESS; ++i)
            children.append(name);
    }
    for (const QString& child : children)
        deleteTree(root, path + QLatin1Char('\\') + child);
    RegDeleteKeyW(root, path);
}

} // namespace

void InitRegistryAccess() {
    std::call_once(g_initOnce, [] {
        UseRegistry64View = IsProcessWow64();
        // RegDeleteKeyExW is always present in our registry layer.
        g_RegDeleteKeyExW = &platform::RegDeleteKeyExW;
    });
}

REGSAM RegistryReadAccess() {
    InitRegistryAccess();
    return KEY_READ | (UseRegistry64View ? KEY_WOW64_64KEY : 0);
}

REGSAM RegistryWriteAccess() {
    InitRegistryAccess();
    return KEY_ALL_ACCESS | (UseRegistry64View ? KEY_WOW64_64KEY : 0);
}

bool RegKeyExists(HKEY root, const QString& path) {
    return Key(root, path, RegistryReadAccess(), false).ok();
}

bool RegValueExists(HKEY root, const QString& path, const QString& name) {
    Key key(root, path, RegistryReadAccess(), false);
    if (!key.ok())
        return false;
    DWORD type = 0;
    DWORD size = 0;
    return RegQueryValueExW(key.handle(), name, &type, nullptr, &size) == ERROR_SUCCESS;
}

QString RegReadString(HKEY root, const QString& path, const QString& name) {
    DWORD type = REG_NONE;
    QByteArray data;
    if (!queryValue(root, path, name, &type, &data) || data.isEmpty())
        return {};
    if (isTextType(type))
        return data.size() > 1 ? textUpToNul(data) : QString();
    switch (type) {
    case REG_DWORD:
        return QString::number(static_cast<uint32_t>(littleEndian(data, 4)));
    case REG_QWORD:
        return QString::number(static_cast<int64_t>(littleEndian(data, 8)));
    case REG_BINARY:
    case REG_NONE:
        return textUpToNul(data);
    default:
        return {};
    }
}

int32_t RegReadInteger(HKEY root, const QString& path, const QString& name) {
    DWORD type = REG_NONE;
    QByteArray data;
    if (!queryValue(root, path, name, &type, &data) || data.isEmpty())
        return 0;
    if (isTextType(type)) {
        if (data.size() <= 1)
            return 0;
        bool ok = false;
        const int v = textUpToNul(data).trimmed().toInt(&ok, 10);
        return ok ? v : 0;
    }
    switch (type) {
    case REG_DWORD:
    case REG_BINARY:
    case REG_NONE:
        return data.size() <= 4 ? static_cast<int32_t>(static_cast<uint32_t>(littleEndian(data, 4)))
                                : 0;
    case REG_QWORD:
        return data.size() <= 8 ? static_cast<int32_t>(static_cast<uint32_t>(littleEndian(data, 8)))
                                : 0;
    default:
        return 0;
    }
}

bool RegWriteValue(HKEY root, const QString& path, const QString& name, DWORD type,
                   const void* data, DWORD size) {
    Key key(root, path, RegistryWriteAccess(), true);
    if (!key.ok())
        return false;
    return RegSetValueExW(key.handle(), name, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

bool RegWriteString(HKEY root, const QString& path, const QString& name, const QString& text) {
    if (text.isEmpty())
        return RegWriteValue(root, path, name, REG_SZ, nullptr, 0);
    const QByteArray bytes = utf16WithNul(text);
    return RegWriteValue(root, path, name, REG_SZ, bytes.constData(),
                         static_cast<DWORD>(bytes.size()));
}

bool RegWriteInteger(HKEY root, const QString& path, const QString& name, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16),
                                    static_cast<unsigned char>(v >> 24)};
    return RegWriteValue(root, path, name, REG_DWORD, bytes, sizeof bytes);
}

bool RegRemoveValue(HKEY root, const QString& path, const QString& name) {
    Key key(root, path, RegistryWriteAccess(), false);
    if (!key.ok())
        return false;
    return RegDeleteValueW(key.handle(), name) == ERROR_SUCCESS;
}

bool RegDeleteKeyTree(HKEY root, const QString& path) {
    InitRegistryAccess();
    // An empty path names the root itself: wiping a whole root is never what a caller means.
    if (isRootPath(path))
        return false;
    deleteTree(root, path);
    if (RegKeyExists(root, path) && g_RegDeleteKeyExW)
        g_RegDeleteKeyExW(root, path, RegistryWriteAccess(), 0);
    return !RegKeyExists(root, path);
}

} // namespace settings
