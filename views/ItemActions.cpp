#include "views/ItemActions.h"

#include "i18n/ProjectMessages.h"
#include "platform/Paths.h"
#include "views/StatusText.h"

#include <algorithm>
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

platform::ListedItem ListedItemOf(const analysis::TAnalysisTree& tree, analysis::PNode node) {
    platform::ListedItem item;
    const QString path = analysis::ListedPath(tree.GetNodeData(node));
    if (path.size() < 3 || path[1] != u':' || path[2] != u'\\')
        return item;
    item.root = platform::DriveRoot(path[0].unicode());
    if (item.root.empty())
        return item;
    for (const QString& name : path.mid(3).split(u'\\', Qt::SkipEmptyParts))
        item.names.push_back(platform::NativeName(name));
    // The recorded identities, from the drive's root down to the item.
    std::vector<uint64_t> inodes;
    for (analysis::PNode n = node; n != analysis::PNode::None; n = tree.GetParent(n))
        inodes.push_back(tree.Inode(n));
    std::reverse(inodes.begin(), inodes.end());
    item.device = tree.Device();
    if (inodes.size() == item.names.size() + 1) {
        item.inodes = std::move(inodes);
    } else {
        // The tree does not start at the drive's root: a way that cannot be checked is no way.
        item.root.clear();
    }
    return item;
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
    case K::Changed:
        return Message(Msg::MESSAGE_ORB_ITEM_CHANGED);
    case K::None:
    case K::Other:
        break;
    }
    return detail.isEmpty() ? QString() : withDetail(Msg::MESSAGE_ORB_DELETE_ERROR);
}

namespace {

// "path: reason" lines of the items, the first kTrashFailuresShown of them, then one line for
// the rest.
QString itemLines(const std::vector<TTrashFailure>& items) {
    using i18n::Message;
    using i18n::Msg;
    QStringList lines;
    for (size_t i = 0; i < items.size() && i < kTrashFailuresShown; ++i) {
        const TTrashFailure& f = items[i];
        lines << (f.Reason.isEmpty() ? ElidedPath(f.Path)
                                     : ElidedPath(f.Path) + QStringLiteral(": ") + f.Reason);
    }
    if (items.size() > kTrashFailuresShown)
        lines << ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_DELETE_FAILED_MORE),
                                        QStringLiteral("%1"),
                                        QString::number(items.size() - kTrashFailuresShown));
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

QString TrashFailureMessage(const std::vector<TTrashFailure>& failures) {
    return ReplaceFirstIgnoreCase(i18n::Message(i18n::Msg::MESSAGE_ORB_DELETE_FAILED),
                                  QStringLiteral("%1"), itemLines(failures));
}

QString AdministratorTrashMessage(const std::vector<TTrashFailure>& items, const QString& user) {
    const QString text = ReplaceFirstIgnoreCase(
        i18n::Message(i18n::Msg::MESSAGE_ORB_DELETE_ADMIN_TRASH), QStringLiteral("%1"), user);
    return ReplaceFirstIgnoreCase(text, QStringLiteral("%2"), itemLines(items));
}

QString RemovalFailureReason(platform::TrashFailure kind, const QString& detail, bool partly) {
    using i18n::Message;
    using i18n::Msg;
    if (partly)
        return ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_DELETE_PARTLY), QStringLiteral("%1"),
                                      detail);
    if (kind == platform::TrashFailure::Refused)
        return ReplaceFirstIgnoreCase(Message(Msg::MESSAGE_ORB_DELETE_PERMANENTLY_REFUSED),
                                      QStringLiteral("%1"), detail);
    return TrashFailureReason(kind, detail);
}

QString RemovalFailureMessage(const std::vector<TTrashFailure>& failures) {
    return ReplaceFirstIgnoreCase(i18n::Message(i18n::Msg::MESSAGE_ORB_DELETE_PERMANENTLY_FAILED),
                                  QStringLiteral("%1"), itemLines(failures));
}

QString PermanentDeleteQuestion(const std::vector<QString>& paths, int64_t totalSize) {
    std::vector<TTrashFailure> items;
    items.reserve(paths.size());
    for (const QString& path : paths)
        items.push_back({path, {}});
    const QString text =
        ReplaceFirstIgnoreCase(i18n::Message(i18n::Msg::MESSAGE_ORB_DELETE_PERMANENTLY_ASK),
                               QStringLiteral("%1"), analysis::SizeText(totalSize));
    return ReplaceFirstIgnoreCase(text, QStringLiteral("%2"), itemLines(items));
}

} // namespace views
