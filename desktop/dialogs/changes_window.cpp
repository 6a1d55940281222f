#include "desktop/dialogs/changes_window.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "shell/shell_texts.h"

namespace velora {

ChangesWindow::ChangesWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), heading_(new QLabel), list_(new QTreeWidget) {
    setObjectName(QStringLiteral("changes"));
    setWindowTitle(QString::fromUtf8(kChangesTitle));
    heading_->setWordWrap(true);
    list_->setHeaderHidden(true);
    list_->setColumnCount(1);
    list_->setUniformRowHeights(true);  // thousands of lines scroll smoothly
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    resize(560, 420);
}

void ChangesWindow::setChanges(const ImageDifferences& changes) {
    std::vector<std::string> lines = changes.lines();
    if (shownOnce_ && lines == shown_) return;
    shownOnce_ = true;
    shown_ = std::move(lines);
    heading_->setText(QString::fromStdString(changesHeading(changes.count())));
    list_->clear();
    list_->setVisible(!changes.empty());
    const struct {
        const char* region;
        const std::vector<std::string>* lines;
    } groups[] = {
        {"Scenes", &changes.scenes}, {"Settings", &changes.settings}, {"MIDI assignments", &changes.midi}};
    for (const auto& group : groups) {
        if (group.lines->empty()) continue;
        auto* top = new QTreeWidgetItem(list_);
        top->setText(0, QString::fromStdString(changesGroupHeading(group.region, group.lines->size())));
        QList<QTreeWidgetItem*> children;
        children.reserve(static_cast<qsizetype>(group.lines->size()));
        for (const std::string& line : *group.lines)
            children.append(new QTreeWidgetItem(QStringList(QString::fromStdString(line))));
        top->addChildren(children);
        top->setExpanded(true);
    }
}

}  // namespace velora
