#include "views/FilterRules.h"

#include "analysis/NodeData.h"
#include "analysis/Progress.h"
#include "platform/Pump.h"

namespace views {
namespace {

constexpr char16_t kBackslash = u'\\';

inline char16_t upperAZ(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

// Blanks and control characters, which trimming removes.
inline bool isTrimmed(QChar c) {
    return c.unicode() <= 0x20;
}

QString trimmed(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && isTrimmed(s[b]))
        ++b;
    while (e > b && isTrimmed(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// The text after the last separator, where a separator in the very last position does not
// count; the whole text when there is none.
std::u16string_view afterLast(std::u16string_view text, char16_t separator) {
    if (text.size() < 2)
        return separator == u'.' ? std::u16string_view() : text;
    const size_t at = text.find_last_of(separator, text.size() - 2);
    if (at == std::u16string_view::npos)
        return separator == u'.' ? std::u16string_view() : text;
    return text.substr(at + 1);
}

std::u16string_view view(QStringView s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size())};
}

} // namespace

void AdvanceProgress(analysis::TProgressBar* progress, size_t visited) {
    if (progress)
        progress->SetPosition(static_cast<int>(visited));
}

std::u16string_view RawExtension(std::u16string_view path) {
    return afterLast(afterLast(path, kBackslash), u'.');
}

QString FileExtension(QStringView path) {
    const std::u16string_view ext = RawExtension(view(path));
    QString out(static_cast<qsizetype>(ext.size()), Qt::Uninitialized);
    for (size_t i = 0; i < ext.size(); ++i)
        out[static_cast<qsizetype>(i)] = QChar(upperAZ(ext[i]));
    return out;
}

void Read_Filter_From_Edit(QStringList& Liste, const QString& Text) {
    Liste.clear();
    QString rest = trimmed(analysis::UpperAZ(Text));
    while (!rest.isEmpty()) {
        const qsizetype semicolon = rest.indexOf(u';');
        const QString part = trimmed(semicolon < 0 ? rest : rest.left(semicolon));
        if (!part.isEmpty())
            Liste.append(part);
        rest = semicolon < 0 ? QString() : rest.mid(semicolon + 1);
    }
}

QString TypedFilterEntry(const QString& text) {
    QString s = analysis::UpperAZ(text);
    if (s.startsWith(QStringLiteral("*.")))
        s.remove(0, 2);
    return s;
}

QString FilterText(const QStringList& entries) {
    QString text;
    for (const QString& e : entries)
        text += e + QStringLiteral("\r\n");
    return text;
}

void TExtensionTable::Add(const QString& upperExtension, int value) {
    values_.emplace(std::u16string(view(upperExtension)), value); // keeps the first value
}

int TExtensionTable::Find(std::u16string_view path) const {
    const std::u16string_view ext = RawExtension(path);
    scratch_.assign(ext);
    for (char16_t& c : scratch_)
        c = upperAZ(c);
    const auto it = values_.find(scratch_);
    return it == values_.end() ? -1 : it->second;
}

int64_t ApplyExtensionFilter(analysis::TAnalysisTree& tree, const QStringList& entries,
                             analysis::TProgressBar* progress) {
    using analysis::PNode;
    TExtensionTable table;
    for (const QString& e : entries)
        table.Add(e, 0);
    const bool filtered = !entries.isEmpty();
    int64_t total = 0;
    std::u16string path;
    analysis::TAnalysisTree::PathBuilder builder(tree);
    size_t visited = 0;
    tree.BeginUpdate();
    for (PNode n = tree.GetFirst(); n != PNode::None; n = tree.GetNext(n)) {
        bool visible = true;
        if (filtered) {
            visible = false;
            if (!tree.IsFolder(n)) {
                path.clear();
                builder.Append(n, path);
                visible = table.Find(path) >= 0;
                if (visible)
                    total = analysis::AddSizes(total, tree.Size(n));
            }
        }
        tree.SetVisible(n, visible);
        AdvanceProgress(progress, ++visited);
        platform::PumpPoint();
    }
    tree.EndUpdate();
    return total;
}

} // namespace views
