#include "saved/NcduJson.h"

#include "platform/DriveTable.h"
#include "platform/NameCodec.h"
#include "saved/FileIo.h"
#include "saved/NativeNames.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace saved {
namespace {

using analysis::PNode;
using analysis::TAnalysisTree;

constexpr size_t kChunk = size_t{1} << 18;
constexpr size_t kMaxNameBytes = 4096; // a path as the root's name, a name elsewhere
constexpr size_t kMaxKeyBytes = 32;    // longer keys are none of ours and are skipped
constexpr size_t kMaxMetaBytes = 256;  // progname, progver, an exclusion's kind
constexpr uint64_t kMaxEntries = UINT32_MAX - 2;
constexpr uint64_t kProgressEvery = 1 << 16;
constexpr qsizetype kUnreadableSamples = 5;

// The input, read in large pieces; bytes are taken one at a time or scanned within the piece.
class Input {
public:
    explicit Input(int fd) : fd_(fd), buffer_(kChunk) {}

    int Peek() {
        if (pos_ == len_ && !refill())
            return -1;
        return static_cast<unsigned char>(buffer_[pos_]);
    }
    int Get() {
        const int c = Peek();
        if (c >= 0)
            ++pos_;
        return c;
    }
    void SkipSpace() {
        for (;;) {
            if (pos_ == len_ && !refill())
                return;
            const char c = buffer_[pos_];
            if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
                return;
            ++pos_;
        }
    }
    // The bytes left in the current piece (refilled when empty).
    std::string_view Piece() {
        if (pos_ == len_)
            refill();
        return {buffer_.data() + pos_, len_ - pos_};
    }
    void Advance(size_t n) { pos_ += n; }
    uint64_t Offset() const { return base_ + pos_; }
    int Error() const { return err_; }

private:
    bool refill() {
        if (eof_)
            return false;
        base_ += len_;
        pos_ = len_ = 0;
        ssize_t n;
        do
            n = ::read(fd_, buffer_.data(), buffer_.size());
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            if (n < 0)
                err_ = errno;
            eof_ = true;
            return false;
        }
        len_ = static_cast<size_t>(n);
        return true;
    }

    int fd_;
    std::vector<char> buffer_;
    size_t pos_ = 0, len_ = 0;
    uint64_t base_ = 0;
    bool eof_ = false;
    int err_ = 0;
};

struct Number {
    bool negative = false;
    bool whole = true;     // no fraction, no exponent
    bool overflow = false; // beyond 2^64 - 1
    uint64_t magnitude = 0;
};

// What an info object says; only the fields this reader uses.
struct Info {
    std::string name;
    bool haveName = false;
    uint64_t asize = 0;
    uint64_t ino = 0;
    uint64_t dev = 0;
    bool haveDev = false;
    bool haveItems = false;
    bool readError = false;
    bool notreg = false;
    bool excluded = false;
    std::string excludedKind;
    void Reset() {
        name.clear();
        haveName = haveDev = haveItems = readError = notreg = excluded = false;
        asize = ino = dev = 0;
        excludedKind.clear();
    }
};

class Parser {
public:
    explicit Parser(Input& in) : in_(in) {}

    const QString& Error() const { return error_; }

    bool Fail(const QString& what) {
        if (error_.isEmpty()) {
            if (in_.Error())
                error_ = QString::fromLocal8Bit(std::strerror(in_.Error()));
            else
                error_ = QStringLiteral("%1 (at byte %2)").arg(what).arg(in_.Offset());
        }
        return false;
    }
    bool Expect(char c, const char* what) {
        in_.SkipSpace();
        if (in_.Peek() != static_cast<unsigned char>(c))
            return Fail(in_.Peek() < 0 ? QStringLiteral("the file is cut off")
                                       : QStringLiteral("%1 expected").arg(QLatin1String(what)));
        in_.Get();
        return true;
    }

    // A JSON string into out (nullptr: skipped), at most max bytes; with cut, a longer string
    // is cut to max + 1 bytes instead of refused (keys: no key of ours is that long).
    bool String(std::string* out, size_t max, bool cut = false) {
        in_.SkipSpace();
        if (in_.Get() != '"')
            return Fail(QStringLiteral("a string expected"));
        if (out)
            out->clear();
        size_t length = 0;
        for (;;) {
            const std::string_view piece = in_.Piece();
            if (piece.empty())
                return Fail(QStringLiteral("the file is cut off"));
            size_t i = 0;
            while (i < piece.size()) {
                const auto c = static_cast<unsigned char>(piece[i]);
                if (c == '"' || c == '\\' || c < 0x20)
                    break;
                ++i;
            }
            length += i;
            if (length > max && !cut)
                return Fail(QStringLiteral("a string longer than any name"));
            if (out)
                out->append(piece.data(), std::min(i, max + 1 - std::min(out->size(), max + 1)));
            in_.Advance(i);
            if (i == piece.size())
                continue;
            const int c = in_.Get();
            if (c == '"')
                return true;
            if (c != '\\')
                return Fail(QStringLiteral("a control character inside a string"));
            std::string decoded;
            if (!escape(decoded))
                return false;
            length += decoded.size();
            if (length > max && !cut)
                return Fail(QStringLiteral("a string longer than any name"));
            if (out && out->size() <= max)
                *out += decoded;
        }
    }

    bool Num(Number& n) {
        in_.SkipSpace();
        n = Number{};
        if (in_.Peek() == '-') {
            in_.Get();
            n.negative = true;
        }
        int c = in_.Peek();
        if (c < '0' || c > '9')
            return Fail(QStringLiteral("a number expected"));
        const bool leadingZero = c == '0';
        size_t digits = 0;
        while ((c = in_.Peek()) >= '0' && c <= '9') {
            in_.Get();
            const uint64_t d = static_cast<uint64_t>(c - '0');
            if (n.magnitude > (UINT64_MAX - d) / 10)
                n.overflow = true;
            else
                n.magnitude = n.magnitude * 10 + d;
            ++digits;
        }
        if (leadingZero && digits > 1)
            return Fail(QStringLiteral("a number with a leading zero"));
        if (c == '.') {
            in_.Get();
            n.whole = false;
            if (!digitsFollow())
                return false;
        }
        c = in_.Peek();
        if (c == 'e' || c == 'E') {
            in_.Get();
            n.whole = false;
            if (in_.Peek() == '+' || in_.Peek() == '-')
                in_.Get();
            if (!digitsFollow())
                return false;
        }
        return true;
    }

    // A whole number of 0 or more, up to 2^64 - 1.
    bool Count(uint64_t& v, const char* field) {
        Number n;
        if (!Num(n))
            return false;
        if (!n.whole || (n.negative && n.magnitude != 0))
            return Fail(
                QStringLiteral("%1 is no whole number of 0 or more").arg(QLatin1String(field)));
        if (n.overflow)
            return Fail(
                QStringLiteral("%1 is larger than any number it can be").arg(QLatin1String(field)));
        v = n.magnitude;
        return true;
    }

    bool Boolean(bool& v) {
        in_.SkipSpace();
        if (in_.Peek() == 't')
            return literal("true") && (v = true, true);
        if (in_.Peek() == 'f')
            return literal("false") && (v = false, true);
        return Fail(QStringLiteral("true or false expected"));
    }

    // Any JSON value, read past. Iterative: nesting is limited by nothing but the file.
    bool SkipValue() {
        std::vector<char> open; // '[' or '{' of the containers entered
        for (;;) {
            in_.SkipSpace();
            const int c = in_.Peek();
            bool done = true;
            if (c == '"') {
                if (!String(nullptr, SIZE_MAX))
                    return false;
            } else if (c == '-' || (c >= '0' && c <= '9')) {
                Number n;
                if (!Num(n))
                    return false;
            } else if (c == 't') {
                if (!literal("true"))
                    return false;
            } else if (c == 'f') {
                if (!literal("false"))
                    return false;
            } else if (c == 'n') {
                if (!literal("null"))
                    return false;
            } else if (c == '[' || c == '{') {
                in_.Get();
                in_.SkipSpace();
                const int close = c == '[' ? ']' : '}';
                if (in_.Peek() == close) {
                    in_.Get();
                } else {
                    open.push_back(static_cast<char>(c));
                    if (c == '{' && !(String(nullptr, SIZE_MAX) && Expect(':', "':'")))
                        return false;
                    done = false;
                }
            } else {
                return Fail(c < 0 ? QStringLiteral("the file is cut off")
                                  : QStringLiteral("a value expected"));
            }
            if (!done)
                continue;
            // After a value: the next one of the container, or its end.
            for (;;) {
                if (open.empty())
                    return true;
                in_.SkipSpace();
                const int next = in_.Get();
                if (next == ',') {
                    if (open.back() == '{' && !(String(nullptr, SIZE_MAX) && Expect(':', "':'")))
                        return false;
                    break;
                }
                if ((next == ']' && open.back() == '[') || (next == '}' && open.back() == '{')) {
                    open.pop_back();
                    continue;
                }
                return Fail(next < 0 ? QStringLiteral("the file is cut off")
                                     : QStringLiteral("',' or the end of a list expected"));
            }
        }
    }

    // An info object.
    bool ReadInfo(Info& info) {
        info.Reset();
        if (!Expect('{', "an entry ('{')"))
            return false;
        in_.SkipSpace();
        if (in_.Peek() == '}') {
            in_.Get();
            return Fail(QStringLiteral("an entry without a name"));
        }
        std::string key;
        for (;;) {
            if (!String(&key, kMaxKeyBytes, true) || !Expect(':', "':'"))
                return false;
            bool ok = true;
            uint64_t ignored = 0;
            if (key == "name") {
                ok = String(&info.name, kMaxNameBytes);
                info.haveName = true;
            } else if (key == "asize") {
                ok = Count(info.asize, "asize");
            } else if (key == "dsize" || key == "nlink" || key == "uid" || key == "gid" ||
                       key == "mode") {
                ok = Count(ignored, "a number");
            } else if (key == "ino") {
                ok = Count(info.ino, "ino");
            } else if (key == "dev") {
                ok = Count(info.dev, "dev");
                info.haveDev = true;
            } else if (key == "items") {
                ok = Count(ignored, "items");
                info.haveItems = true;
            } else if (key == "mtime") {
                Number n;
                ok = Num(n) && (n.whole || Fail(QStringLiteral("mtime is no whole number")));
            } else if (key == "hlnkc") {
                bool b = false;
                ok = Boolean(b);
            } else if (key == "read_error") {
                ok = Boolean(info.readError);
            } else if (key == "notreg") {
                ok = Boolean(info.notreg);
            } else if (key == "excluded") {
                // A kind ("pattern", "othfs", "otherfs", "kernfs", "frmlnk"); early versions
                // wrote true.
                in_.SkipSpace();
                if (in_.Peek() == '"') {
                    ok = String(&info.excludedKind, kMaxMetaBytes);
                    info.excluded = true;
                } else {
                    ok = Boolean(info.excluded);
                }
            } else {
                ok = SkipValue();
            }
            if (!ok)
                return false;
            in_.SkipSpace();
            const int c = in_.Get();
            if (c == '}')
                break;
            if (c != ',')
                return Fail(c < 0 ? QStringLiteral("the file is cut off")
                                  : QStringLiteral("',' or '}' expected"));
        }
        if (!info.haveName)
            return Fail(QStringLiteral("an entry without a name"));
        return true;
    }

    Input& In() { return in_; }

private:
    bool digitsFollow() {
        int c = in_.Peek();
        if (c < '0' || c > '9')
            return Fail(QStringLiteral("a digit expected"));
        while ((c = in_.Peek()) >= '0' && c <= '9')
            in_.Get();
        return true;
    }
    bool literal(const char* word) {
        for (const char* p = word; *p; ++p)
            if (in_.Get() != static_cast<unsigned char>(*p))
                return Fail(QStringLiteral("a value expected"));
        return true;
    }
    bool hex4(uint32_t& v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = in_.Get();
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return Fail(QStringLiteral("a broken \\u escape"));
            v = v * 16 + static_cast<uint32_t>(d);
        }
        return true;
    }
    bool escape(std::string& out) {
        const int c = in_.Get();
        switch (c) {
        case '"':
        case '\\':
        case '/':
            out += static_cast<char>(c);
            return true;
        case 'b':
            out += '\b';
            return true;
        case 'f':
            out += '\f';
            return true;
        case 'n':
            out += '\n';
            return true;
        case 'r':
            out += '\r';
            return true;
        case 't':
            out += '\t';
            return true;
        case 'u':
            break;
        default:
            return Fail(c < 0 ? QStringLiteral("the file is cut off")
                              : QStringLiteral("an unknown escape in a string"));
        }
        uint32_t cp = 0;
        if (!hex4(cp))
            return false;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            uint32_t low = 0;
            if (in_.Get() != '\\' || in_.Get() != 'u' || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return Fail(QStringLiteral("a lone surrogate in a string"));
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
            out += static_cast<char>(cp - 0xDC00); // a raw byte that is not UTF-8
            return true;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return Fail(QStringLiteral("a lone surrogate in a string"));
        }
        platform::codec_detail::appendUtf8(out, cp);
        return true;
    }

    Input& in_;
    QString error_;
};

bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

// Kinds of exclusion that stand for a mount point: the folder is an entry that is not walked.
bool mountLike(const std::string& kind) {
    return kind == "othfs" || kind == "otherfs" || kind == "kernfs" || kind == "frmlnk";
}

class Importer {
public:
    Importer(Input& in, TAnalysisTree& tree, TImported& result, const TImportOptions& options)
        : p_(in), tree_(tree), result_(result), options_(options) {}

    const QString& Error() const { return p_.Error(); }

    bool Run() {
        uint64_t major = 0, minor = 0;
        if (!p_.Expect('[', "an ncdu export ('[')"))
            return false;
        if (!p_.Count(major, "the major version"))
            return false;
        if (major != 1)
            return p_.Fail(QStringLiteral("an export of major version %1; this program reads "
                                          "version 1")
                               .arg(major));
        if (!p_.Expect(',', "','") || !p_.Count(minor, "the minor version"))
            return false;
        if (minor > 10000)
            return p_.Fail(QStringLiteral("the minor version %1 is out of range").arg(minor));
        result_.Minor = static_cast<uint16_t>(minor);
        if (!p_.Expect(',', "','") || !metadata() || !p_.Expect(',', "','") ||
            !p_.Expect('[', "the top folder ('[')"))
            return false;
        if (!root())
            return false;
        while (!frames_.empty()) {
            p_.In().SkipSpace();
            const int c = p_.In().Get();
            if (c == ']') {
                closeFolder();
                continue;
            }
            if (c != ',')
                return p_.Fail(c < 0 ? QStringLiteral("the file is cut off")
                                     : QStringLiteral("',' or ']' expected"));
            p_.In().SkipSpace();
            const int next = p_.In().Peek();
            if (next == '[') {
                p_.In().Get();
                if (!p_.ReadInfo(info_) || !count() || !openFolder())
                    return false;
            } else if (next == '{') {
                if (!p_.ReadInfo(info_) || !count() || !addFile())
                    return false;
            } else {
                return p_.Fail(next < 0 ? QStringLiteral("the file is cut off")
                                        : QStringLiteral("a folder or an entry expected"));
            }
        }
        if (!p_.Expect(']', "the end of the export (']')"))
            return false;
        p_.In().SkipSpace();
        if (p_.In().Peek() >= 0)
            return p_.Fail(QStringLiteral("data after the end of the export"));
        if (p_.In().Error())
            return p_.Fail(QString());
        finish();
        return true;
    }

private:
    struct Frame {
        PNode node; // PNode::None: a folder that is not walked (its contents are read past)
        uint64_t dev;
        int64_t size = 0;
        uint32_t folders = 0;
        uint32_t files = 0;
    };

    bool metadata() {
        p_.In().SkipSpace();
        if (p_.In().Peek() != '{')
            return p_.Fail(QStringLiteral("the metadata object expected"));
        p_.In().Get();
        p_.In().SkipSpace();
        if (p_.In().Peek() == '}') {
            p_.In().Get();
            return true;
        }
        std::string key, text;
        for (;;) {
            if (!p_.String(&key, kMaxKeyBytes, true) || !p_.Expect(':', "':'"))
                return false;
            bool ok = true;
            if (key == "progname" || key == "progver") {
                ok = p_.String(&text, kMaxMetaBytes);
                (key == "progname" ? progname_ : progver_) =
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
            } else if (key == "timestamp") {
                uint64_t t = 0;
                ok = p_.Count(t, "the timestamp");
                if (ok && t < 253402300800ull) // before the year 10000
                    timestamp_ = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t), Qt::UTC);
            } else {
                ok = p_.SkipValue();
            }
            if (!ok)
                return false;
            p_.In().SkipSpace();
            const int c = p_.In().Get();
            if (c == '}')
                return true;
            if (c != ',')
                return p_.Fail(c < 0 ? QStringLiteral("the file is cut off")
                                     : QStringLiteral("',' or '}' expected"));
        }
    }

    bool count() {
        if (++seen_ > kMaxEntries)
            return p_.Fail(QStringLiteral("more entries than an analysis can hold"));
        if (info_.asize > static_cast<uint64_t>(INT64_MAX))
            return p_.Fail(QStringLiteral("a size beyond the largest size"));
        if (options_.Progress && seen_ % kProgressEvery == 0 && !options_.Progress(seen_))
            return p_.Fail(QStringLiteral("cancelled"));
        return true;
    }

    std::u16string_view display(const std::string& name) {
        display_.resize(name.size());
        display_.resize(platform::DecodeNativeName(name, display_.data()));
        return display_;
    }

    bool root() {
        if (!p_.ReadInfo(info_) || !count())
            return false;
        if (info_.name.empty() || info_.name.find('\0') != std::string::npos)
            return p_.Fail(QStringLiteral("the top folder has a name no folder can have"));
        rootName_ = info_.name;
        drive_ = options_.Drive.isEmpty() ? DriveForImportedRoot(rootName_) : options_.Drive;
        const PNode top = tree_.AddTopFolder(std::u16string_view(
            reinterpret_cast<const char16_t*>(drive_.utf16()), static_cast<size_t>(drive_.size())));
        rootDev_ = info_.dev;
        tree_.SetDevice(rootDev_);
        if (info_.ino)
            tree_.SetInode(top, info_.ino);
        haveItems_ |= info_.haveItems;
        if (info_.readError)
            unreadable(top);
        frames_.push_back({top, rootDev_});
        return true;
    }

    void unreadable(PNode folder) {
        analysis::TScanVerdict& v = result_.Summary.Verdict;
        ++v.UnreadableFolders;
        if (v.UnreadableSamples.size() < kUnreadableSamples)
            v.UnreadableSamples.append(tree_.Path(folder));
    }

    bool openFolder() {
        if (!plainName(info_.name))
            return p_.Fail(QStringLiteral("an entry has a name no file can have"));
        Frame& parent = frames_.back();
        const uint64_t dev = info_.haveDev ? info_.dev : parent.dev;
        if (parent.node == PNode::None) {
            frames_.push_back({PNode::None, dev});
            return true;
        }
        haveItems_ |= info_.haveItems;
        // A mount point, excluded or on another device, is a folder entry that is not walked,
        // as a scan of ours leaves it.
        if (info_.excluded || dev != rootDev_) {
            ++parent.folders;
            ++result_.MountPoints;
            frames_.push_back({PNode::None, dev});
            return true;
        }
        const PNode folder = tree_.AddFolder(parent.node, display(info_.name));
        if (info_.ino)
            tree_.SetInode(folder, info_.ino);
        if (info_.readError)
            unreadable(folder);
        frames_.push_back({folder, dev});
        return true;
    }

    bool addFile() {
        if (!plainName(info_.name))
            return p_.Fail(QStringLiteral("an entry has a name no file can have"));
        Frame& parent = frames_.back();
        if (parent.node == PNode::None)
            return true;
        if (info_.excluded && mountLike(info_.excludedKind)) {
            ++parent.folders;
            ++result_.MountPoints;
            return true;
        }
        int64_t size = 0;
        if (info_.excluded)
            ++result_.ExcludedByPattern; // an entry that is there, of no known size
        else if (!info_.notreg)
            size = static_cast<int64_t>(info_.asize);
        const PNode file = tree_.AddFile(parent.node, display(info_.name), size);
        if (info_.ino)
            tree_.SetInode(file, info_.ino);
        ++parent.files;
        parent.size = analysis::AddSizes(parent.size, size);
        return true;
    }

    void closeFolder() {
        const Frame f = frames_.back();
        frames_.pop_back();
        if (f.node == PNode::None)
            return;
        tree_.SetSize(f.node, f.size);
        tree_.SetFolderCount(f.node, f.folders);
        tree_.SetFileCount(f.node, f.files);
        if (frames_.empty()) {
            top_ = f;
            return;
        }
        Frame& parent = frames_.back();
        if (parent.node == PNode::None)
            return;
        parent.size = analysis::AddSizes(parent.size, f.size);
        parent.folders += 1 + f.folders;
        parent.files += f.files;
    }

    void finish() {
        analysis::TAnalysisSummary& s = result_.Summary;
        s.Drive = drive_;
        s.TotalSize = top_.size;
        s.TotalFiles = top_.files;
        s.TotalFolders = 1 + top_.folders;
        analysis::TAnalysisOrigin& o = s.Origin;
        o.Source =
            progname_ == QStringLiteral("gdu") ? QStringLiteral("gdu") : QStringLiteral("ncdu");
        o.Program = progver_.isEmpty() ? progname_ : progname_ + u' ' + progver_;
        o.Started = o.Ended = timestamp_;
        o.Root = rootName_;
        o.FileSystem = platform::FileSystemIdentity{.device = rootDev_};
        result_.Entries = tree_.NodeCount();
        result_.CumulativeFolderSizes = haveItems_;
    }

    Parser p_;
    TAnalysisTree& tree_;
    TImported& result_;
    const TImportOptions& options_;
    Info info_;
    std::vector<Frame> frames_;
    Frame top_{PNode::None, 0};
    std::u16string display_;
    std::string rootName_;
    QString drive_;
    uint64_t rootDev_ = 0;
    uint64_t seen_ = 0;
    bool haveItems_ = false;
    QString progname_, progver_;
    QDateTime timestamp_;
};

// ---- Writing ---------------------------------------------------------------------------------

void appendJsonString(std::string& out, std::string_view bytes) {
    out += '"';
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += ch; // bytes that are not UTF-8 stay raw, as ncdu writes them
            }
        }
    }
    out += '"';
}

} // namespace

QString DriveForImportedRoot(const std::string& root) {
    for (char16_t l = u'C'; l <= u'Z'; ++l)
        if (!root.empty() && platform::DriveRoot(l) == root)
            return QString(QChar(l)) + QStringLiteral(":\\");
    for (char16_t l = u'Z'; l >= u'D'; --l)
        if (platform::DriveRoot(l).empty())
            return QString(QChar(l)) + QStringLiteral(":\\");
    return QStringLiteral("Z:\\");
}

bool ImportNcduJson(int fd, TAnalysisTree& tree, TImported* result, QString* error,
                    const TImportOptions& options) {
    tree.Clear();
    *result = TImported{};
    Input in(fd);
    Importer importer(in, tree, *result, options);
    bool ok = false;
    tree.BeginUpdate();
    try {
        ok = importer.Run();
    } catch (const std::bad_alloc&) {
        tree.EndUpdate();
        tree.Clear();
        *error = QStringLiteral("there is not enough memory for the analysis");
        return false;
    }
    tree.EndUpdate();
    if (!ok) {
        tree.Clear();
        *result = TImported{};
        *error = importer.Error();
        return false;
    }
    return true;
}

bool ExportNcduJson(int fd, const TAnalysisTree& tree, const analysis::TAnalysisSummary& summary,
                    QString* error) {
    const PNode top = tree.GetFirst();
    if (top == PNode::None || !tree.IsFolder(top)) {
        *error = QStringLiteral("there is no analysis to write");
        return false;
    }
    if (tree.GetNextSibling(top) != PNode::None) {
        *error = QStringLiteral("the tree has more than one top folder");
        return false;
    }
    std::string root = summary.Origin.Root;
    if (root.empty() && !summary.Drive.isEmpty())
        root = platform::DriveRoot(summary.Drive[0].unicode());
    if (root.empty())
        root = summary.Drive.toStdString();
    const QDateTime when =
        summary.Origin.Ended.isValid() ? summary.Origin.Ended : QDateTime::currentDateTimeUtc();

    io::FdWriter w(fd);
    std::string& out = w.Buffer();
    out +=
        "[1,2,{\"progname\":\"orbisca\",\"progver\":\"" ORBISCA_PROGRAM_VERSION "\",\"timestamp\":";
    out += std::to_string(std::max<qint64>(0, when.toSecsSinceEpoch()));
    out += "},\n[{\"name\":";
    appendJsonString(out, root);
    if (tree.Device())
        out += ",\"dev\":" + std::to_string(tree.Device());
    out += '}';

    struct Frame {
        PNode folder;
        PNode next;
    };
    std::vector<Frame> frames{{top, tree.GetFirstChild(top)}};
    std::string name;
    std::u16string scratch;
    while (!frames.empty()) {
        Frame& f = frames.back();
        if (f.next == PNode::None) {
            out += ']';
            frames.pop_back();
            continue;
        }
        const PNode c = f.next;
        f.next = tree.GetNextSibling(c);
        NativeNameOf(tree, c, f.folder, name, scratch);
        const bool folder = tree.IsFolder(c);
        out += folder ? ",\n[{\"name\":" : ",\n{\"name\":";
        appendJsonString(out, name);
        if (!folder)
            out += ",\"asize\":" + std::to_string(std::max<int64_t>(0, tree.Size(c)));
        out += '}';
        if (folder)
            frames.push_back({c, tree.GetFirstChild(c)});
        if (out.size() >= (size_t{1} << 18))
            w.Flush();
    }
    out += "]\n";
    if (!w.Flush()) {
        *error = QString::fromLocal8Bit(std::strerror(w.Error()));
        return false;
    }
    return true;
}

} // namespace saved
