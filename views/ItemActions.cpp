#include "views/ItemActions.h"

#include "i18n/ProjectMessages.h"
#include "platform/Paths.h"
#include "views/AnalyserRules.h"

#include <unordered_map>
#include <unordered_set>

namespace views {

using analysis::PNode;

TItemMenuState ItemMenuState(const analysis::TNodeData* first, int count) {
    TItemMenuState state;
    if (first && first->ImageIndex > 0)
        return state; // a formats group: no item on disk
    const bool one = first && count == 1;
    state.OpenFile = one && !first->IsFolder;
    state.ShowFolder = one && !first->IsFolder;
    state.OpenFolder = one && first->IsFolder;
    state.Delete = count >= 1;
    return state;
}

TOutermostItems OutermostItems(const analysis::TAnalysisTree& tree,
                               const std::vector<PNode>& nodes) {
    std::unordered_set<PNode> selected(nodes.begin(), nodes.end());
    std::unordered_map<PNode, size_t> position; // of each outermost item in Items
    TOutermostItems out;
    out.OwnerOf.reserve(nodes.size());
    for (PNode n : nodes) {
        // The highest selected node on the way up takes this one along.
        PNode top = n;
        for (PNode p = tree.GetParent(n); p != PNode::None; p = tree.GetParent(p)) {
            if (selected.count(p))
                top = p;
        }
        const auto [it, added] = position.try_emplace(top, out.Items.size());
        if (added)
            out.Items.push_back(top);
        out.OwnerOf.push_back(it->second);
    }
    return out;
}

std::string NativePathOf(const analysis::TNodeData& record) {
    return platform::NativePath(analysis::ListedPath(record));
}

QString TrashFailureReason(platform::TrashFailure kind, const QString& detail) {
    using i18n::Message;
    using i18n::Msg;
    using K = platform::TrashFailure;
    const auto withDetail = [&detail](Msg m) {
        return ReplaceFirstIgnoreCase(Message(m), QStringLiteral("%1"), detail);
    };
    switch (kind) {
    case K::Vanished:
        return Message(Msg::MESSAGE_ORB_DELETE_VANISHED);
    case K::Denied:
        return Message(Msg::MESSAGE_ORB_DELETE_DENIED);
    case K::ReadOnly:
        return Message(Msg::MESSAGE_ORB_DELETE_READONLY);
    case K::NoTrash:
        return withDetail(Msg::MESSAGE_ORB_DELETE_NOTRASH);
    case K::Refused:
        return withDetail(Msg::MESSAGE_ORB_DELETE_REFUSED);
    case K::None:
    case K::Other:
        break;
    }
    return detail.isEmpty() ? QString() : withDetail(Msg::MESSAGE_ORB_DELETE_ERROR);
}

QString TrashFailureMessage(const std::vector<TTrashFailure>& failures) {
    using i18n::Message;
    using i18n::Msg;
    QStringList lines;
    for (size_t i = 0; i < failures.size() && i < kTrashFailuresShown; ++i) {
        const TTrashFailure& f = failures[i];
        lines << (f.Reason.isEmpty() ? ElidedPath(f.Path)
                                     : ElidedPath(f.Path) + QStringLiteral(": ") + f.Reason);
    }
    if (failures.size() > kTrashFailuresShown)
        lines << ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_DELETE_FAILED_MORE),
                                        QStringLiteral("%1"),
                                        QString::number(failures.size() - kTrashFailuresShown));
    return ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_DELETE_FAILED), QStringLiteral("%1"),
                                  lines.join(QStringLiteral("\r\n")));
}

} // namespace views
