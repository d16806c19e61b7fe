#include "platform/WinReg.h"

#include "platform/Hive.h"

#include <cstring>
#include <mutex>
#include <unordered_set>

// An open key: the hive it lives in, its id there and the access it was opened with.
struct platform::HKEY__ {
    std::shared_ptr<Hive> hive;
    Hive::KeyId id = 0;
    REGSAM access = 0;
};

namespace platform {
namespace {

constexpr REGSAM kWriteBits =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE_ACCESS | WRITE_DAC | WRITE_OWNER;

// Handles are checked against the set of live ones, so a closed or made-up handle gives
// ERROR_INVALID_HANDLE instead of a wild read.
std::mutex g_handleMutex;
std::unordered_set<HKEY>& liveHandles() {
    static std::unordered_set<HKEY> handles;
    return handles;
}

struct Resolved {
    std::shared_ptr<Hive> hive;
    Hive::KeyId id = 0;
    REGSAM access = 0;
};

LSTATUS resolve(HKEY key, Resolved* out) {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) {
        out->hive = MachineHive();
        out->id = key == HKEY_LOCAL_MACHINE ? Hive::kLocalMachine : Hive::kClassesRoot;
        out->access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(g_handleMutex);
    if (!key || !liveHandles().count(key))
        return ERROR_INVALID_HANDLE;
    out->hive = key->hive;
    out->id = key->id;
    out->access = key->access;
    return ERROR_SUCCESS;
}

QStringList components(const QString& subKey) {
    return subKey.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

HKEY newHandle(std::shared_ptr<Hive> hive, Hive::KeyId id, REGSAM access) {
    HKEY h = new HKEY__{std::move(hive), id, access};
    std::lock_guard lock(g_handleMutex);
    liveHandles().insert(h);
    return h;
}

} // namespace

LSTATUS RegOpenKeyExW(HKEY root, const QString& subKey, DWORD /*options*/, REGSAM samDesired,
                      HKEY* result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Resolved parent;
    if (const LSTATUS e = resolve(root, &parent); e != ERROR_SUCCESS)
        return e;
    if ((samDesired & kWriteBits) && !parent.hive->isWritable())
        return ERROR_ACCESS_DENIED;
    Hive::KeyId id = 0;
    if (const LSTATUS e = parent.hive->openKey(parent.id, components(subKey), &id);
        e != ERROR_SUCCESS)
        return e;
    *result = newHandle(parent.hive, id, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExW(HKEY root, const QString& subKey, DWORD /*options*/, REGSAM samDesired,
                        HKEY* result, DWORD* disposition) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Resolved parent;
    if (const LSTATUS e = resolve(root, &parent); e != ERROR_SUCCESS)
        return e;
    if ((samDesired & kWriteBits) && !parent.hive->isWritable())
        return ERROR_ACCESS_DENIED;
    const QStringList parts = components(subKey);
    Hive::KeyId id = 0;
    bool created = false;
    LSTATUS e = parent.hive->openKey(parent.id, parts, &id);
    if (e == ERROR_FILE_NOT_FOUND) {
        if (!(parent.access & KEY_CREATE_SUB_KEY))
            return ERROR_ACCESS_DENIED;
        e = parent.hive->createKey(parent.id, parts, &id, &created);
    }
    if (e != ERROR_SUCCESS)
        return e;
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = newHandle(parent.hive, id, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT)
        return ERROR_SUCCESS;
    {
        std::lock_guard lock(g_handleMutex);
        if (!key || liveHandles().erase(key) == 0)
            return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, const QString& valueName, DWORD* type, BYTE* data,
                         DWORD* cbData) {
    Resolved k;
    if (const LSTATUS e = resolve(key, &k); e != ERROR_SUCCESS)
        return e;
    if (!(k.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data && !cbData)
        return ERROR_INVALID_PARAMETER;
    uint32_t storedType = REG_NONE;
    QByteArray bytes;
    if (const LSTATUS e = k.hive->queryValue(k.id, valueName, &storedType, &bytes);
        e != ERROR_SUCCESS)
        return e;
    if (type)
        *type = storedType;
    const auto size = static_cast<DWORD>(bytes.size());
    if (!cbData)
        return ERROR_SUCCESS;
    if (data) {
        if (*cbData < size) {
            *cbData = size;
            return ERROR_MORE_DATA;
        }
        if (size)
            std::memcpy(data, bytes.constData(), size);
    }
    *cbData = size;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, const QString& valueName, DWORD type, const BYTE* data,
                       DWORD cbData) {
    Resolved k;
    if (const LSTATUS e = resolve(key, &k); e != ERROR_SUCCESS)
        return e;
    if (!(k.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!data && cbData)
        return ERROR_INVALID_PARAMETER;
    const QByteArray bytes =
        cbData ? QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(cbData))
               : QByteArray();
    return k.hive->setValue(k.id, valueName, type, bytes);
}

LSTATUS RegDeleteValueW(HKEY key, const QString& valueName) {
    Resolved k;
    if (const LSTATUS e = resolve(key, &k); e != ERROR_SUCCESS)
        return e;
    if (!(k.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    return k.hive->deleteValue(k.id, valueName);
}

LSTATUS RegDeleteKeyW(HKEY root, const QString& subKey) {
    Resolved parent;
    if (const LSTATUS e = resolve(root, &parent); e != ERROR_SUCCESS)
        return e;
    if (!parent.hive->isWritable())
        return ERROR_ACCESS_DENIED;
    return parent.hive->deleteLeafKey(parent.id, components(subKey));
}

LSTATUS RegDeleteKeyExW(HKEY root, const QString& subKey, REGSAM /*samDesired*/,
                        DWORD /*reserved*/) {
    return RegDeleteKeyW(root, subKey);
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, QString* name) {
    Resolved k;
    if (const LSTATUS e = resolve(key, &k); e != ERROR_SUCCESS)
        return e;
    if (!(k.access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (!name)
        return ERROR_INVALID_PARAMETER;
    return k.hive->enumKey(k.id, index, name);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, QString* name, DWORD* type) {
    Resolved k;
    if (const LSTATUS e = resolve(key, &k); e != ERROR_SUCCESS)
        return e;
    if (!(k.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!name)
        return ERROR_INVALID_PARAMETER;
    return k.hive->enumValue(k.id, index, name, type);
}

} // namespace platform
