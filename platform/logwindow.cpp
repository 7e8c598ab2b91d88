// SPDX-License-Identifier: GPL-3.0-or-later
// A window of log rows, newest first: a filter on the kind column, a text search, copy of the
// selected rows; it asks its source for new rows every second while it is open.
#include "seams.h"
#include "ui.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <set>

namespace {

class LogWindow : public QWidget {
public:
    LogWindow(const char* title, const char* const* headers, LogSource source) : source_(source) {
        setWindowTitle(QString::fromUtf8(title));
        setAttribute(Qt::WA_DeleteOnClose);
        resize(900, 520);
        auto* filters = new QHBoxLayout;
        kind_ = new QComboBox;
        kind_->addItem(QStringLiteral("All kinds"));
        kind_->setAccessibleName(QStringLiteral("Kind"));
        search_ = new QLineEdit;
        search_->setPlaceholderText(QStringLiteral("Search"));
        search_->setClearButtonEnabled(true);
        search_->setAccessibleName(QStringLiteral("Search"));
        auto* copy = new QPushButton(QStringLiteral("&Copy"));
        copy->setToolTip(QStringLiteral("The selected lines to the clipboard (Ctrl+C)"));
        filters->addWidget(new QLabel(QStringLiteral("Kind")));
        filters->addWidget(kind_);
        filters->addWidget(search_, 1);
        filters->addWidget(copy);
        list_ = new QTreeWidget;
        list_->setRootIsDecorated(false);
        list_->setUniformRowHeights(true);
        list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list_->setAlternatingRowColors(true);
        QStringList h;
        for (int i = 0; i < kLogColumns; ++i) h << QString::fromUtf8(headers[i]);
        list_->setHeaderLabels(h);
        list_->header()->setStretchLastSection(true);
        status_ = new QLabel;
        status_->setObjectName(QStringLiteral("status"));
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(filters);
        layout->addWidget(list_, 1);
        layout->addWidget(status_);
        connect(kind_, &QComboBox::currentIndexChanged, this, [this] { filter(); });
        connect(search_, &QLineEdit::textChanged, this, [this] { filter(); });
        connect(copy, &QPushButton::clicked, this, [this] { copySelected(); });
        auto* shortcut = new QShortcut(QKeySequence::Copy, list_);
        connect(shortcut, &QShortcut::activated, this, [this] { copySelected(); });
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { refresh(); });
        timer->start(1000);
        refresh();
    }
    void refresh() {
        std::vector<LogRow> rows;
        std::string status;
        bool reset = source_(&rows, &status);
        status_->setText(QString::fromStdString(status));
        if (reset) {
            list_->clear();
            kinds_.clear();
        }
        // Newest first: each new row goes on top.
        for (const LogRow& r : rows) {
            auto* item = new QTreeWidgetItem;
            for (int i = 0; i < kLogColumns; ++i) item->setText(i, QString::fromStdString(r.columns[i]));
            list_->insertTopLevelItem(0, item);
            if (kinds_.insert(r.columns[1]).second) kind_->addItem(QString::fromStdString(r.columns[1]));
            item->setHidden(!shows(item));
        }
        if (reset && list_->topLevelItemCount()) list_->resizeColumnToContents(0);
    }

private:
    bool shows(const QTreeWidgetItem* item) const {
        if (kind_->currentIndex() > 0 && item->text(1) != kind_->currentText()) return false;
        const QString s = search_->text();
        if (s.isEmpty()) return true;
        for (int i = 0; i < kLogColumns; ++i)
            if (item->text(i).contains(s, Qt::CaseInsensitive)) return true;
        return false;
    }
    void filter() {
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            item->setHidden(!shows(item));
        }
    }
    void copySelected() {
        QStringList lines;
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            if (!item->isSelected() || item->isHidden()) continue;
            QStringList cols;
            for (int c = 0; c < kLogColumns; ++c) cols << item->text(c);
            lines << cols.join(QLatin1Char('\t'));
        }
        if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }

    LogSource source_;
    QComboBox* kind_;
    QLineEdit* search_;
    QTreeWidget* list_;
    QLabel* status_;
    std::set<std::string> kinds_;
};

LogWindow* shown = nullptr;

}  // namespace

void platform::refreshLogWindow() {
    if (shown) shown->refresh();
}

int ShowLogWindow(const char* title, const char* const* headers, LogSource source) {
    if (!source || !headers) return -1;
    if (shown) {
        shown->raise();
        shown->activateWindow();
        return 0;
    }
    shown = new LogWindow(title ? title : "", headers, source);
    QObject::connect(shown, &QObject::destroyed, [] { shown = nullptr; });
    shown->show();
    return 0;
}
