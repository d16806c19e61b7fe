#include "saved/NativeNames.h"

#include "platform/NameCodec.h"

#include <QString>

namespace saved {

using analysis::PNode;
using analysis::TAnalysisTree;

// The native bytes of a run of display text.
void AppendNativeText(const analysis::TTextRun& run, std::string& out, std::u16string& scratch) {
    if (!run.wide()) {
        const auto* p = static_cast<const uint8_t*>(run.data());
        bool ascii = true;
        for (size_t i = 0; i < run.size() && ascii; ++i)
            ascii = p[i] < 0x80;
        if (ascii) {
            out.append(reinterpret_cast<const char*>(p), run.size());
            return;
        }
    }
    scratch.clear();
    run.AppendTo(scratch);
    platform::EncodeNativeName(scratch, out);
}

// A node's own name as listed on the volume, in native bytes.
void NativeNameOf(const TAnalysisTree& tree, PNode n, PNode parent, std::string& out,
                  std::u16string& scratch) {
    out.clear();
    if (!tree.IsFolder(n)) {
        const QString listed = tree.ListedName(n);
        if (!listed.isEmpty()) {
            platform::EncodeNativeName(
                std::u16string_view(reinterpret_cast<const char16_t*>(listed.utf16()),
                                    static_cast<size_t>(listed.size())),
                out);
            return;
        }
    }
    const TAnalysisTree::PathPieces pieces = tree.Pieces(n);
    if (pieces.folder == parent) {
        AppendNativeText(pieces.own, out, scratch);
        return;
    }
    // A node added with a path of its own (a tree built by hand): its last component.
    const QString path = tree.Path(n);
    const qsizetype slash = path.lastIndexOf(u'\\', path.endsWith(u'\\') ? -2 : -1);
    const QString name = path.mid(slash + 1);
    platform::EncodeNativeName(std::u16string_view(reinterpret_cast<const char16_t*>(name.utf16()),
                                                   static_cast<size_t>(name.size())),
                               out);
}

} // namespace saved
