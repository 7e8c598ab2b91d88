// SPDX-License-Identifier: GPL-3.0-or-later
// Modal popups: Qt's message boxes and file dialog, or the answers a test gives in their place.
#include "io.h"
#include "platform_internal.h"
#include "seams.h"
#include "ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QToolButton>

#include <cstring>

namespace {

platform::Popups* given = nullptr;  // answers in place of the dialogs

QWidget* owner() { return QApplication::activeWindow(); }

// "*.dat;*.*;" → "*.dat;;*.*" with readable names, the first entry the default.
QString qtFilters(const char* list) {
    QStringList out;
    for (const QString& f : QString::fromLatin1(list ? list : "").split(QLatin1Char(';'), Qt::SkipEmptyParts))
        out << (f == QLatin1String("*.*") ? QStringLiteral("All files (*)")
                                          : QStringLiteral("%1 files (%2)").arg(f.mid(2), f));
    return out.join(QStringLiteral(";;"));
}

// The accept button's text by the button-label code.
QString acceptLabel(int code) {
    static const char* const kLabels[] = {"OK", "Save", "Select", "Load"};
    return QString::fromLatin1(code >= 0 && code <= 3 ? kLabels[code] : kLabels[0]);
}

}  // namespace

std::unique_ptr<QFileDialog> platform::fileDialog(const FileSelectArgs& a) {
    auto d = std::make_unique<QFileDialog>(owner(), QString::fromUtf8(a.title.c_str()),
                                           QString::fromUtf8(a.directory.c_str()), qtFilters(a.filters.c_str()));
    // Qt's own dialog on every desktop, so the button text and the folder rule hold everywhere.
    d->setOption(QFileDialog::DontUseNativeDialog);
    d->setOption(QFileDialog::DontConfirmOverwrite);
    bool load = a.buttonLabel == 3;
    d->setAcceptMode(load ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    d->setFileMode(load ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    d->setLabelText(QFileDialog::Accept, acceptLabel(a.buttonLabel));
    d->setWindowTitle(QString::fromUtf8(a.title.c_str()));
    if (!a.allowMakeDirectory) {
        d->setOption(QFileDialog::ReadOnly);  // no new folder, no rename, no delete
        if (auto* b = d->findChild<QToolButton*>(QStringLiteral("newFolderButton"))) b->hide();
    }
    return d;
}

int platform::savePictureDialog(int graphWidth, std::string* path, int* width) {
    if (given) return given->pictureSave(graphWidth, path, width);
    QFileDialog d(owner(), QStringLiteral("Save picture"), QString(),
                  QStringLiteral("PNG picture (*.png);;PDF document (*.pdf);;SVG drawing (*.svg)"));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setFileMode(QFileDialog::AnyFile);
    d.setDefaultSuffix(QStringLiteral("png"));
    QObject::connect(&d, &QFileDialog::filterSelected, [&d](const QString& filter) {
        d.setDefaultSuffix(filter.section(QLatin1String("*."), 1).left(3));
    });
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return 0;
    bool ok = false;
    int w = QInputDialog::getInt(owner(), QStringLiteral("Save picture"), QStringLiteral("Width in pixels:"),
                                 graphWidth, 100, 10000, 100, &ok);
    if (!ok) return 0;
    *path = d.selectedFiles().front().toStdString();
    *width = w;
    return 1;
}

void platform::usePopups(Popups* popups) { given = popups; }
bool platform::popupsReplaced() { return given != nullptr; }
platform::Popups* platform::givenPopups() { return given; }

int MessagePopup(const char* title, const char* message) {
    if (given) {
        given->message(title ? title : "", message ? message : "");
        return 0;
    }
    QMessageBox::information(owner(), QString::fromUtf8(title), QString::fromUtf8(message));
    return 0;
}

int ConfirmPopup(const char* title, const char* message) {
    if (given) return given->confirm(title ? title : "", message ? message : "");
    return QMessageBox::question(owner(), QString::fromUtf8(title), QString::fromUtf8(message),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

int FileSelectPopup(const char* directory, const char* defaultSpec, const char* filters, const char* title,
                    int buttonLabel, int /*restrictDirectory*/, int restrictExtension, int /*allowCancel*/,
                    int allowMakeDirectory, char* path) {
    auto text = [](const char* t) { return std::string(t ? t : ""); };
    platform::FileSelectArgs args{text(directory), text(defaultSpec), text(filters),     text(title),
                                  buttonLabel,     restrictExtension, allowMakeDirectory};
    QString chosen;
    if (given) {
        std::string name;
        int result = given->fileSelect(args, &name);
        if (result <= 0) {
            path[0] = '\0';
            return result;
        }
        chosen = QString::fromUtf8(name.c_str());
    } else {
        auto dialog = platform::fileDialog(args);
        if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
            chosen = dialog->selectedFiles().first();
        // A name typed without extension takes the default one, as the list asks.
        QString ext = QString::fromLatin1(args.defaultSpec.c_str()).mid(1);
        if (buttonLabel != 3 && !chosen.isEmpty() && restrictExtension && !ext.isEmpty() && !chosen.endsWith(ext))
            chosen += ext;
        if (chosen.isEmpty()) {
            path[0] = '\0';
            return 0;
        }
    }
    QByteArray b = chosen.toUtf8();
    if (static_cast<std::size_t>(b.size()) >= kMaxPathname) {  // a path that does not fit is no choice
        path[0] = '\0';
        return -1;
    }
    std::memcpy(path, b.constData(), static_cast<std::size_t>(b.size()) + 1);
    return QFileInfo::exists(chosen) ? 1 : 2;
}
