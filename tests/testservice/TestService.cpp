// A snapshot service for the engine's tests. It implements the service contract over record
// graphs described by small text fixtures, so the engine is tested through the real path:
// module load, entry function, export table, callbacks.
//
// Fixture text, one line each:
//   @fail NewVolume|OpenVolume|NewSnapshot   that call returns none / false
//   @noroot                                  UpdateSnapshot leaves the root empty
//   @callbacks 0:0 2:550 1:0 3:0 9:0         callbacks made during UpdateSnapshot (cmd:progress)
//   @stopcheck                               keep calling cmd 0 until the answer is true (max 1000)
//   @message TEXT                            a cmd 1 with TEXT (the rest of the line) at the end
//   @result N                                what UpdateSnapshot answers (default -1, true)
//   @deep N                                  below the root: N nested folders "d", a file "f" last
//   @generate N SEED                         below the root: N random entries (names, depths)
//   @ids DEVICE                              UndeleteDLLGetRecordId knows the records: DEVICE
//                                            and each record's ino=N, else 1000 + its line's
//                                            number among the entries (the root's is 1000)
//   ROOT [attr=X] [flags=X] [noitems]        the root folder record (first tree line); flags are
//                                            numbers or unreadable, deleted-files, joined by |
//   D name [attr=X] [flags=X] [noitems]      a folder entry
//   F name [size=N | streams=A,B | stream=SIZE/VALID] [flags=X] [attr=X] [ino=N]
//   N                                        an entry without a name
//   R name                                   an entry without a record
//   L name                                   a folder entry whose record is the root's (a loop)
// Tree lines nest by two blanks of indentation. A name is a bare word or a quoted text with the
// escapes \\ \" \t \n \xHH \uHHHH.
//
// Control functions for the tests: TestService_Load, TestService_Log, TestService_LiveObjects.

#include "analysis/UndelDLL.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct FNode {
    char kind = 'D'; // D, F, N, R
    std::u16string name;
    uint32_t attr = 0;
    uint32_t flags = 0;
    bool noItems = false;
    uint64_t inode = 0; // 0: by its number
    std::vector<std::pair<uint64_t, uint64_t>> streams; // size, valid size
    std::vector<uint32_t> children;
};

struct State {
    std::vector<FNode> nodes; // nodes[0] is the root
    std::string failCall;
    bool noRoot = false;
    bool stopCheck = false;
    std::vector<std::pair<int32_t, int32_t>> callbacks;
    std::vector<std::u16string> messages;
    bool32 result = kBool32True;
    bool ids = false;
    uint64_t device = 0;
    std::vector<char> arena;
    TFILE_RECORD* root = nullptr;
    std::string log;
    int liveVolumes = 0;
    int liveSnapshots = 0;
    long entryCalls = 0;
};

State g;

void logLine(const std::string& s) {
    g.log += s;
    g.log += '\n';
}

std::string utf8(const char16_t* s) {
    std::string out;
    for (; s && *s; ++s) {
        const char16_t c = *s;
        if (c < 0x80)
            out += static_cast<char>(c);
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

// ---- fixture parsing -------------------------------------------------------------------------

std::u16string parseName(const std::string& tok) {
    std::u16string out;
    if (tok.empty() || tok[0] != '"') {
        for (unsigned char c : tok)
            out += static_cast<char16_t>(c);
        return out;
    }
    for (size_t i = 1; i < tok.size() && tok[i] != '"'; ++i) {
        if (tok[i] != '\\') {
            out += static_cast<char16_t>(static_cast<unsigned char>(tok[i]));
            continue;
        }
        const char e = tok[++i];
        if (e == 't')
            out += u'\t';
        else if (e == 'n')
            out += u'\n';
        else if (e == 'x') {
            out += static_cast<char16_t>(std::stoul(tok.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (e == 'u') {
            out += static_cast<char16_t>(std::stoul(tok.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else
            out += static_cast<char16_t>(e);
    }
    return out;
}

// Splits a line into tokens; a quoted token keeps its quotes and may hold blanks.
std::vector<std::string> tokens(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i >= line.size())
            break;
        size_t j = i;
        if (line[i] == '"') {
            for (++j; j < line.size() && line[j] != '"'; ++j)
                if (line[j] == '\\')
                    ++j;
            ++j;
        } else {
            while (j < line.size() && line[j] != ' ')
                ++j;
        }
        out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

uint32_t parseFlags(const std::string& text) {
    uint32_t flags = 0;
    std::stringstream ss(text);
    std::string part;
    while (std::getline(ss, part, '|')) {
        if (part == "unreadable")
            flags |= UNDEL_FLAG_UNREADABLE;
        else if (part == "deleted-files")
            flags |= UNDEL_FLAG_DELETED_FILES;
        else
            flags |= static_cast<uint32_t>(std::stoul(part, nullptr, 0));
    }
    return flags;
}

void applyKeys(FNode& n, const std::vector<std::string>& toks, size_t from) {
    for (size_t k = from; k < toks.size(); ++k) {
        const std::string& t = toks[k];
        const size_t eq = t.find('=');
        const std::string key = t.substr(0, eq);
        const std::string val = eq == std::string::npos ? "" : t.substr(eq + 1);
        if (key == "attr")
            n.attr = static_cast<uint32_t>(std::stoul(val, nullptr, 0));
        else if (key == "flags")
            n.flags = parseFlags(val);
        else if (key == "noitems")
            n.noItems = true;
        else if (key == "ino")
            n.inode = std::stoull(val);
        else if (key == "size")
            n.streams = {{std::stoull(val), std::stoull(val)}};
        else if (key == "stream") {
            const size_t slash = val.find('/');
            n.streams = {{std::stoull(val.substr(0, slash)), std::stoull(val.substr(slash + 1))}};
        } else if (key == "streams") {
            n.streams.clear();
            std::stringstream ss(val);
            std::string part;
            while (std::getline(ss, part, ','))
                if (part != "none")
                    n.streams.push_back({std::stoull(part), std::stoull(part)});
        }
    }
}

uint32_t addNode(FNode n, uint32_t parent) {
    g.nodes.push_back(std::move(n));
    const auto id = static_cast<uint32_t>(g.nodes.size() - 1);
    if (id != 0)
        g.nodes[parent].children.push_back(id);
    return id;
}

std::u16string ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void generate(uint32_t count, uint32_t seed) {
    static const char* const kExt[] = {".txt", ".jpg", ".png", ".mp3", ".pdf", ".dll", ".exe",
                                       ".zip", ".cpp", ".h",   ".json", ".xml", ".log", ".mp4"};
    static const char* const kWords[] = {"report", "Photo", "backup", "data", "music", "Setup",
                                         "config", "project", "image", "notes", "cache", "Video",
                                         "library", "system", "user", "document", "archive"};
    std::mt19937 rng(seed);
    std::vector<uint32_t> folders{0};
    for (uint32_t i = 0; i < count; ++i) {
        // Recent folders get most new entries, which gives realistic clustered depths.
        const uint32_t pick = (rng() % 4 == 0)
                                  ? folders[rng() % folders.size()]
                                  : folders[folders.size() - 1 - rng() % std::min<size_t>(folders.size(), 8)];
        FNode n;
        std::string name = kWords[rng() % 17];
        name += '_' + std::to_string(i);
        if (rng() % 10 == 0) {
            n.kind = 'D';
            n.attr = FILE_ATTRIBUTE_DIRECTORY;
            n.name = ascii(name);
            folders.push_back(addNode(std::move(n), pick));
        } else {
            n.kind = 'F';
            name += kExt[rng() % 14];
            n.name = ascii(name);
            const uint64_t size = (uint64_t{1} << (rng() % 24)) + rng() % 1000;
            n.streams = {{size, size}};
            addNode(std::move(n), pick);
        }
    }
}

void parse(const char* text) {
    g = State{};
    FNode root;
    root.attr = FILE_ATTRIBUTE_DIRECTORY;
    addNode(std::move(root), 0); // the root always exists; a ROOT line sets its fields
    std::stringstream in(text ? text : "");
    std::string line;
    std::vector<std::pair<size_t, uint32_t>> stack; // indentation, folder id
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t indent = 0;
        while (indent < line.size() && line[indent] == ' ')
            ++indent;
        if (indent == line.size() || line[indent] == '#')
            continue;
        const std::vector<std::string> t = tokens(line);
        const std::string& head = t[0];
        if (head == "@fail")
            g.failCall = t.at(1);
        else if (head == "@noroot")
            g.noRoot = true;
        else if (head == "@stopcheck")
            g.stopCheck = true;
        else if (head == "@ids") {
            g.ids = true;
            g.device = std::stoull(t.at(1));
        } else if (head == "@result")
            g.result = static_cast<bool32>(std::stol(t.at(1)));
        else if (head == "@message") {
            const size_t at = line.find("@message") + 8;
            std::string text = at < line.size() ? line.substr(at + 1) : std::string();
            g.messages.push_back(std::u16string(text.begin(), text.end()));
        }
        else if (head == "@callbacks") {
            for (size_t k = 1; k < t.size(); ++k) {
                const size_t c = t[k].find(':');
                g.callbacks.push_back({std::stoi(t[k].substr(0, c)), std::stoi(t[k].substr(c + 1))});
            }
        } else if (head == "@deep") {
            uint32_t parent = 0;
            const long n = std::stol(t.at(1));
            for (long d = 0; d < n; ++d) {
                FNode f;
                f.name = u"d";
                f.attr = FILE_ATTRIBUTE_DIRECTORY;
                parent = addNode(std::move(f), parent);
            }
            FNode file;
            file.kind = 'F';
            file.name = u"f";
            file.streams = {{7, 7}};
            addNode(std::move(file), parent);
        } else if (head == "@generate") {
            generate(static_cast<uint32_t>(std::stoul(t.at(1))),
                     static_cast<uint32_t>(std::stoul(t.size() > 2 ? t[2] : "1")));
        } else if (head == "ROOT") {
            applyKeys(g.nodes[0], t, 1);
            stack = {{indent, 0}};
        } else {
            while (!stack.empty() && stack.back().first >= indent)
                stack.pop_back();
            const uint32_t parent = stack.empty() ? 0 : stack.back().second;
            FNode n;
            n.kind = head[0];
            if (n.kind == 'D')
                n.attr = FILE_ATTRIBUTE_DIRECTORY;
            if (t.size() > 1 && n.kind != 'N')
                n.name = parseName(t[1]);
            applyKeys(n, t, n.kind == 'N' ? 1 : 2);
            const uint32_t id = addNode(std::move(n), parent);
            if (head[0] == 'D')
                stack.push_back({indent, id});
        }
    }
}

// ---- record graph ----------------------------------------------------------------------------

char* g_bump = nullptr;
template <class T> T* alloc(size_t count = 1) {
    T* p = reinterpret_cast<T*>(g_bump);
    std::memset(g_bump, 0, sizeof(T) * count);
    g_bump += (sizeof(T) * count + 3) & ~size_t{3}; // keep records on 4-byte boundaries
    return p;
}

void build() {
    if (g.nodes.empty())
        return;
    size_t bytes = 64;
    for (const FNode& n : g.nodes)
        bytes += sizeof(uint64_t) + sizeof(TFILE_RECORD) + sizeof(TDIR_ITEM) + sizeof(TFILE_NAME) +
                 (n.name.size() + 1) * 2 + n.streams.size() * sizeof(TDATA_STREAM) + 12;
    g.arena.assign(bytes, 0);
    g_bump = g.arena.data();
    std::vector<TFILE_RECORD*> records(g.nodes.size(), nullptr);
    for (size_t i = 0; i < g.nodes.size(); ++i) {
        const FNode& n = g.nodes[i];
        if (n.kind == 'R' || n.kind == 'L')
            continue;
        // Its identity just before the record, as the real service keeps it.
        const uint64_t inode = n.inode ? n.inode : 1000 + i;
        std::memcpy(alloc<uint64_t>(), &inode, sizeof inode);
        TFILE_RECORD* r = alloc<TFILE_RECORD>();
        r->IsDir = n.kind == 'D' ? kBool32True : 0;
        r->Attr = n.attr;
        r->Flags = n.flags;
        TDATA_STREAM* prev = nullptr;
        for (const auto& [size, valid] : n.streams) {
            TDATA_STREAM* s = alloc<TDATA_STREAM>();
            s->Size = size;
            s->ValidSize = valid;
            if (prev)
                prev->Next.set(s);
            else
                r->Streams.set(s);
            prev = s;
        }
        records[i] = r;
    }
    for (size_t i = 0; i < g.nodes.size(); ++i) {
        const FNode& n = g.nodes[i];
        if (n.kind != 'D' || n.noItems || !records[i])
            continue;
        TDIR_ITEM* items = alloc<TDIR_ITEM>(n.children.size());
        records[i]->DirItems.set(items);
        records[i]->NumDirItems = static_cast<int32_t>(n.children.size());
        for (size_t k = 0; k < n.children.size(); ++k) {
            const uint32_t c = n.children[k];
            const FNode& child = g.nodes[c];
            items[k].aRecord.set(child.kind == 'L' ? records[0] : records[c]);
            if (child.kind == 'N')
                continue;
            TFILE_NAME* fn = alloc<TFILE_NAME>();
            char16_t* text = alloc<char16_t>(child.name.size() + 1);
            std::memcpy(text, child.name.data(), child.name.size() * 2);
            fn->Name.set(text);
            items[k].FileName.set(fn);
            if (records[c])
                records[c]->FileNames.set(fn);
        }
    }
    g.root = records[0];
}

// ---- the export table ------------------------------------------------------------------------

int g_volumeToken, g_snapshotToken;

TVolume UNDEL_CALL NewVolume() {
    logLine("NewVolume");
    if (g.failCall == "NewVolume")
        return nullptr;
    ++g.liveVolumes;
    return &g_volumeToken;
}
bool32 UNDEL_CALL OpenVolume(TVolume, const char16_t* root) {
    logLine("OpenVolume " + utf8(root));
    return g.failCall == "OpenVolume" ? 0 : kBool32True;
}
void UNDEL_CALL CloseVolume(TVolume) { logLine("CloseVolume"); }
void UNDEL_CALL FreeVolume(TVolume) {
    logLine("FreeVolume");
    --g.liveVolumes;
}
TSnapshot UNDEL_CALL NewSnapshot(TVolume) {
    logLine("NewSnapshot");
    if (g.failCall == "NewSnapshot")
        return nullptr;
    ++g.liveSnapshots;
    return &g_snapshotToken;
}
bool32 UNDEL_CALL UpdateSnapshot(TSnapshot, uint32_t flags, TFILE_RECORD** root,
                                 TUpdateProgressCallback cb, uintptr_t userdata,
                                 TCLUSTER_MAP** clusterMap) {
    logLine("UpdateSnapshot flags=" + std::to_string(flags) +
            " root=" + (root && !*root ? "empty" : "set") + " userdata=" +
            (userdata ? "set" : "none") + " clustermap=" + (clusterMap ? "set" : "none"));
    for (const auto& [cmd, progress] : g.callbacks) {
        const bool32 answer = cb(cmd, u"", progress, userdata);
        logLine("callback " + std::to_string(cmd) + ":" + std::to_string(progress) + " -> " +
                std::to_string(answer));
    }
    if (g.stopCheck) {
        for (int i = 0; i < 1000; ++i)
            if (cb(0, u"", 0, userdata)) {
                logLine("stop requested after " + std::to_string(i + 1));
                break;
            }
    }
    for (const std::u16string& m : g.messages)
        logLine("message -> " + std::to_string(cb(1, m.c_str(), 0, userdata)));
    if (!g.noRoot)
        *root = g.root;
    return g.result;
}
void UNDEL_CALL FreeSnapshot(TSnapshot) {
    logLine("FreeSnapshot");
    --g.liveSnapshots;
}

TUNDELETE_EXPORT_TABLE g_table = [] {
    TUNDELETE_EXPORT_TABLE t{};
    t.NewVolume = NewVolume;
    t.OpenVolume = OpenVolume;
    t.CloseVolume = CloseVolume;
    t.FreeVolume = FreeVolume;
    t.NewSnapshot = NewSnapshot;
    t.UpdateSnapshot = UpdateSnapshot;
    t.FreeSnapshot = FreeSnapshot;
    return t;
}();

} // namespace

EXPORT TUNDELETE_EXPORT_TABLE* UNDEL_CALL UndeleteDLLEntryW() {
    ++g.entryCalls;
    return &g_table;
}

EXPORT uint32_t UNDEL_CALL UndeleteDLLGetVersion() { return 0x00030201; }

EXPORT bool32 UNDEL_CALL UndeleteDLLGetRecordId(TSnapshot, const TFILE_RECORD* record,
                                                uint64_t* device, uint64_t* inode) {
    const auto at = reinterpret_cast<uintptr_t>(record);
    const auto begin = reinterpret_cast<uintptr_t>(g.arena.data());
    const bool known = g.ids && at >= begin + sizeof(uint64_t) &&
                       at + sizeof(TFILE_RECORD) <= begin + g.arena.size();
    *device = known ? g.device : 0;
    *inode = 0;
    if (known)
        std::memcpy(inode, reinterpret_cast<const char*>(at) - sizeof(uint64_t), sizeof *inode);
    return known ? kBool32True : 0;
}

EXPORT void TestService_Load(const char* fixture) {
    parse(fixture);
    build();
}

EXPORT const char* TestService_Log() { return g.log.c_str(); }

// Volumes and snapshots not yet freed, and calls of the entry function.
EXPORT int TestService_LiveObjects() { return g.liveVolumes + g.liveSnapshots; }
EXPORT long TestService_EntryCalls() { return g.entryCalls; }
