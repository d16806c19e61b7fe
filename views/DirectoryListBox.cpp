#include "views/DirectoryListBox.h"

#include "analysis/NodeData.h"
#include "platform/ListedItem.h"
#include "platform/Paths.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace views {
namespace {

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kDepthRole = Qt::UserRole + 2;
constexpr int kIndentPerLevel = 12;

// Entries indented by their depth, every row kItemHeight high.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        opt.rect.adjust(index.data(kDepthRole).toInt() * kIndentPerLevel, 0, 0, 0);
        QStyledItemDelegate::paint(painter, opt, index);
        // The keyboard's entry, while the box has the focus: a dotted frame the style would not
        // draw over the selection.
        if (option.state & QStyle::State_HasFocus) {
            painter->save();
            const bool selected = option.state & QStyle::State_Selected;
            painter->setPen(
                QPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text), 0,
                     Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(TDirectoryListBox::kItemHeight);
        s.rwidth() += index.data(kDepthRole).toInt() * kIndentPerLevel;
        return s;
    }
};

bool isDriveRoot(const QString& path) {
    return path.size() == 3 && path[1] == u':' && path[2] == u'\\';
}

QString normalised(const QString& path) {
    QString p = path;
    while (p.size() > 3 && p.endsWith(u'\\'))
        p.chop(1);
    if (p.size() == 2 && p[1] == u':')
        p += u'\\';
    if (p.size() >= 2 && p[1] == u':')
        p[0] = analysis::UpperAZ(p[0]); // drive letters in capitals, as everywhere
    return p;
}

QString childPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'\\') ? folder + name : folder + u'\\' + name;
}

// The folders from the drive root down to path: "C:\", "C:\a", "C:\a\b".
QStringList chainOf(const QString& path) {
    QStringList chain;
    if (path.size() < 3)
        return chain;
    chain << path.left(3);
    qsizetype from = 3;
    while (from < path.size()) {
        const qsizetype slash = path.indexOf(u'\\', from);
        const qsizetype end = slash < 0 ? path.size() : slash;
        chain << path.left(end);
        from = end + 1;
    }
    return chain;
}

} // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideRight);
}

QStringList TDirectoryListBox::SubFolders(const QString& windowsPath) {
    QStringList out;
    // The folder is reached from its drive's root without following links: a folder another
    // user swapped for a link shows nothing of where the link leads.
    if (windowsPath.size() < 3 || windowsPath[1] != u':')
        return out;
    platform::ListedItem folder;
    folder.root = platform::DriveRoot(windowsPath[0].unicode());
    if (folder.root.empty())
        return out;
    for (const QString& name : windowsPath.mid(3).split(u'\\', Qt::SkipEmptyParts))
        folder.names.push_back(platform::NativeName(name));
    const int fd = platform::OpenListedFolder(folder);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return out;
    }
    QStringList names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (name == "." || name == "..")
            continue;
        bool folder = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISDIR(st.st_mode);
        }
        if (folder)
            names << platform::DisplayName(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int r = a.compare(b, Qt::CaseInsensitive);
        return r != 0 ? r < 0 : a < b;
    });
    for (const QString& n : names)
        out << childPath(windowsPath, n);
    return out;
}

QChar TDirectoryListBox::Drive() const {
    return directory_.isEmpty() ? QChar() : analysis::UpperAZ(directory_.front());
}

void TDirectoryListBox::SetDrive(QChar letter) {
    SetDirectory(QString(analysis::UpperAZ(letter)) + QStringLiteral(":\\"));
}

void TDirectoryListBox::SetDirectory(const QString& windowsPath) {
    const QString path = normalised(windowsPath);
    const bool changed = analysis::UpperAZ(path) != analysis::UpperAZ(directory_);
    // The same folder in other capitals keeps the spelling it has (Linux names are exact).
    if (changed)
        directory_ = path;
    fill();
    if (changed && OnChange)
        OnChange();
}

void TDirectoryListBox::Refresh() {
    fill();
}

QString TDirectoryListBox::EntryPath(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(kPathRole).toString() : QString();
}

void TDirectoryListBox::fill() {
    clear();
    if (directory_.isEmpty())
        return;
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon drive = style()->standardIcon(QStyle::SP_DriveHDIcon);
    const QStringList chain = chainOf(directory_);
    int depth = 0;
    for (const QString& folder : chain) {
        const QString name =
            isDriveRoot(folder) ? folder : folder.mid(folder.lastIndexOf(u'\\') + 1);
        auto* entry = new QListWidgetItem(depth == 0 ? drive : open, name, this);
        entry->setData(kPathRole, folder);
        entry->setData(kDepthRole, depth++);
        entry->setToolTip(folder);
    }
    if (count() > 0) {
        QListWidgetItem* current = item(count() - 1);
        QFont bold = font();
        bold.setBold(true);
        current->setFont(bold);
        setCurrentItem(current);
    }
    for (const QString& folder :
         SubFolderSource ? SubFolderSource(directory_) : SubFolders(directory_)) {
        auto* entry = new QListWidgetItem(closed, folder.mid(folder.lastIndexOf(u'\\') + 1), this);
        entry->setData(kPathRole, folder);
        entry->setData(kDepthRole, depth);
        entry->setToolTip(folder);
    }
}

void TDirectoryListBox::activate(int row) {
    const QString path = EntryPath(row);
    if (!path.isEmpty())
        SetDirectory(path);
}

void TDirectoryListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (ignoreNextRelease_) {
        ignoreNextRelease_ = false;
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex at = indexAt(event->position().toPoint());
    if (at.isValid())
        activate(at.row());
}

void TDirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first click already opened the entry; the second must not open the entry that now
    // lies under the mouse.
    ignoreNextRelease_ = true;
    event->accept();
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        activate(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace views
