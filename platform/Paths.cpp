#include "platform/Paths.h"

#include <array>
#include <mutex>

namespace platform {
namespace {

std::mutex g_driveMutex;
std::array<std::string, 26>& driveRoots() {
    static std::array<std::string, 26> roots = [] {
        std::array<std::string, 26> r;
        r['C' - 'A'].push_back('/'); // C: is the root file system
        return r;
    }();
    return roots;
}

int letterIndex(char16_t letter) {
    if (letter >= u'a' && letter <= u'z')
        letter = static_cast<char16_t>(letter - u'a' + u'A');
    if (letter < u'A' || letter > u'Z')
        return -1;
    return letter - u'A';
}

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not valid UTF-8.
size_t utf8SequenceLength(std::string_view s, size_t i, char32_t& cp) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t len;
    char32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    // U+F05C stands for a backslash in display names; a real U+F05C in a native name is kept
    // as escaped bytes so that the way back stays exact.
    if (cp == kBackslashInName)
        return 0;
    return len;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

QString DisplayName(std::string_view name) {
    QString out;
    out.reserve(static_cast<qsizetype>(name.size()));
    for (size_t i = 0; i < name.size();) {
        char32_t cp = 0;
        const size_t len = utf8SequenceLength(name, i, cp);
        if (len == 0) {
            out.append(QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(name[i]))));
            ++i;
            continue;
        }
        if (cp == U'\\')
            out.append(QChar(kBackslashInName));
        else if (cp < 0x10000)
            out.append(QChar(static_cast<char16_t>(cp)));
        else
            out.append(QString::fromUcs4(&cp, 1));
        i += len;
    }
    return out;
}

std::string NativeName(QStringView name) {
    std::string out;
    out.reserve(static_cast<size_t>(name.size()));
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (u == kBackslashInName) {
            out += '\\';
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u - 0xDC00);
        } else if (QChar::isHighSurrogate(u) && i + 1 < name.size() &&
                   QChar::isLowSurrogate(name[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, name[i + 1].unicode()));
            ++i;
        } else {
            // A lone surrogate outside the escape range has no native form; U+FFFD keeps the
            // name printable (such a name was never produced by DisplayName).
            appendUtf8(out, QChar::isSurrogate(u) ? 0xFFFD : u);
        }
    }
    return out;
}

std::string DriveRoot(char16_t letter) {
    const int i = letterIndex(letter);
    if (i < 0)
        return {};
    std::lock_guard lock(g_driveMutex);
    return driveRoots()[static_cast<size_t>(i)];
}

void SetDriveRoot(char16_t letter, const std::string& nativeRoot) {
    const int i = letterIndex(letter);
    if (i < 0)
        return;
    std::string root = nativeRoot;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    std::lock_guard lock(g_driveMutex);
    driveRoots()[static_cast<size_t>(i)] = root;
}

std::string NativePath(const QString& windowsPath) {
    if (windowsPath.size() < 2 || windowsPath[1] != u':')
        return {};
    std::string native = DriveRoot(windowsPath[0].unicode());
    if (native.empty())
        return {};
    const QStringView rest = QStringView(windowsPath).mid(2);
    for (const QStringView part : rest.tokenize(u'\\', Qt::SkipEmptyParts)) {
        if (native.back() != '/')
            native += '/';
        native += NativeName(part);
    }
    return native;
}

QString WindowsPath(std::string_view nativePath) {
    int best = -1;
    size_t bestLen = 0;
    {
        std::lock_guard lock(g_driveMutex);
        for (int i = 0; i < 26; ++i) {
            const std::string& root = driveRoots()[static_cast<size_t>(i)];
            if (root.empty() || root.size() < bestLen + (best < 0 ? 0 : 1))
                continue;
            const bool under =
                root == "/" ? !nativePath.empty() && nativePath[0] == '/'
                            : nativePath.substr(0, root.size()) == root &&
                                  (nativePath.size() == root.size() || nativePath[root.size()] == '/');
            if (under && (best < 0 || root.size() > bestLen)) {
                best = i;
                bestLen = root.size();
            }
        }
    }
    if (best < 0)
        return {};
    QString out = QChar(u'A' + best) + QStringLiteral(":\\");
    std::string_view rest = nativePath.substr(bestLen == 1 ? 1 : bestLen);
    bool first = true;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty()) {
            if (!first)
                out += u'\\';
            out += DisplayName(part);
            first = false;
        }
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return out;
}

} // namespace platform
