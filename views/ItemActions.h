#pragma once

// The rules of the list's item actions that need no window: which items of the context menu a
// selection offers, which of the selected items a delete hands to the trash, the native path
// that reaches a listed item, and the message that names the items a delete left in place.

#include "analysis/AnalysisTree.h"
#include "analysis/NodeData.h"

#include "platform/ListedItem.h"
#include "platform/Trash.h"

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

namespace views {

// The enabled states of the context menu's items.
struct TItemMenuState {
    bool OpenFile = false;   // PopUp_OpenFile
    bool ShowFolder = false; // PopUp_ShowFolder
    bool OpenFolder = false; // PopUp_OpenFolder
    bool Delete = false;     // PopUp_Delete

    bool operator==(const TItemMenuState&) const = default;
};

// first: the record of the first selected row in list order (null when nothing is selected);
// count: the number of selected rows. A row with a picture of its own (a formats group) is no
// item on disk and offers nothing; opening and showing take exactly one row; delete takes any.
TItemMenuState ItemMenuState(const analysis::TNodeData* first, int count);

// The items a delete hands to the trash, from the nodes of the selected rows (in list order):
// those without a selected ancestor, in the order they come. An item inside a selected folder
// goes with that folder. OwnerOf[i] is the position in Items of the item that takes nodes[i]
// along (its own position when it is one of Items). A node given twice counts once. Costs the
// depth of each node, never a search of the tree.
struct TOutermostItems {
    std::vector<analysis::PNode> Items;
    std::vector<size_t> OwnerOf;
};
TOutermostItems OutermostItems(const analysis::TAnalysisTree& tree,
                               const std::vector<analysis::PNode>& nodes);

// The item of a node as the analysis found it, for reaching it again safely (ListedItem.h): its
// drive's root folder, the native names from there (the listed ones, byte for byte), and the
// device and inodes the analysis recorded for it and every folder above it. An item whose
// drive is not mapped (any more) gets no root, which every action refuses.
platform::ListedItem ListedItemOf(const analysis::TAnalysisTree& tree, analysis::PNode node);

// The native path that reaches the item of a record on disk, byte for byte: its listed path
// (the name as the volume lists it, before blanks were trimmed for display) through the drive
// table. Empty when the record's drive is not mapped (any more).
std::string NativePathOf(const analysis::TNodeData& record);

// One item a delete left in place: its path as listed and why it stayed.
struct TTrashFailure {
    QString Path;
    QString Reason;
};
// Why an item stayed, in the program's language; the trash's own (English) reason is added
// where the kind alone would not tell the user enough.
QString TrashFailureReason(platform::TrashFailure kind, const QString& detail);

// Lines shown by the message after a delete; further items are summed up in one line.
constexpr size_t kTrashFailuresShown = 12;
// The message after a delete that left items in place: the catalogue's text with the items,
// one "path: reason" line each, as plain text.
QString TrashFailureMessage(const std::vector<TTrashFailure>& failures);
// The message after a delete that moved items to the administrator's trash because `user` could
// not have removed them: one "path: trash folder" line each (the Reason holds the folder).
QString AdministratorTrashMessage(const std::vector<TTrashFailure>& items, const QString& user);

// The same for the permanent delete: why an item stayed (a partly deleted folder says so, with
// the detail), and the message naming the items that stayed.
QString RemovalFailureReason(platform::TrashFailure kind, const QString& detail, bool partly);
QString RemovalFailureMessage(const std::vector<TTrashFailure>& failures);
// The question before a permanent delete: the items (listed paths, as many lines as the failure
// messages show) and their total size.
QString PermanentDeleteQuestion(const std::vector<QString>& paths, int64_t totalSize);

} // namespace views
