// SPDX-License-Identifier: GPL-3.0-or-later
// The form popup: labelled fields in a modal dialog, checked before they are taken.
#include "platform_internal.h"
#include "seams.h"
#include "ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>
#include <string>
#include <vector>

namespace {

void setValue(FormField& f, const QString& v) {
    QByteArray b = v.toUtf8();
    std::size_t n = qMin(static_cast<std::size_t>(b.size()), sizeof f.value - 1);
    std::memcpy(f.value, b.constData(), n);
    f.value[n] = '\0';
}

std::string pictureNext;  // where a picture of the next form goes, "" none

// The dialog of these fields, built but not shown.
struct FormDialog {
    QDialog d{QApplication::activeWindow()};
    std::vector<QWidget*> editors;
    QLabel* problem = nullptr;
    QPushButton* apply = nullptr;

    FormDialog(const char* title, const std::vector<FormField>& fields) {
        d.setWindowTitle(QString::fromUtf8(title));
        auto* outer = new QVBoxLayout(&d);
        auto* form = new QFormLayout;
        outer->addLayout(form);
        for (const FormField& f : fields) {
            QString label = QString::fromUtf8(f.label);
            QString value = QString::fromUtf8(f.value);
            QWidget* w = nullptr;
            if (f.kind == kFormCheck) {
                auto* c = new QCheckBox(label);
                c->setChecked(value == QLatin1String("1"));
                form->addRow(QString(), c);
                w = c;
            } else if (f.kind == kFormNote) {
                auto* l = new QLabel(value);
                l->setWordWrap(true);
                l->setMaximumWidth(420);
                l->setObjectName(QStringLiteral("formNote"));
                form->addRow(label.isEmpty() ? QString() : label, l);
                w = l;
            } else {
                auto* e = new QLineEdit(value);
                e->setAccessibleName(label);
                if (f.kind == kFormSecret) e->setEchoMode(QLineEdit::PasswordEchoOnEdit);
                form->addRow(label, e);
                w = e;
            }
            editors.push_back(w);
        }
        problem = new QLabel;
        problem->setObjectName(QStringLiteral("formProblem"));
        problem->setStyleSheet(QStringLiteral("color: #B00020; font-weight: bold;"));
        problem->setWordWrap(true);
        problem->hide();
        outer->addWidget(problem);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Cancel);
        apply = buttons->button(QDialogButtonBox::Apply);
        apply->setDefault(true);
        outer->addWidget(buttons);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    }
};

// The operator's dialog: 1 with `edited` holding the values that passed the check, 0 cancelled.
int runDialog(const char* title, const std::vector<FormField>& fields, std::vector<FormField>& edited,
              FormCheck check) {
    FormDialog f(title, fields);
    QObject::connect(f.apply, &QPushButton::clicked, &f.d, [&] {
        edited = fields;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].kind == kFormCheck)
                setValue(edited[i], static_cast<QCheckBox*>(f.editors[i])->isChecked() ? QStringLiteral("1")
                                                                                       : QStringLiteral("0"));
            else if (fields[i].kind == kFormText || fields[i].kind == kFormSecret)
                setValue(edited[i], static_cast<QLineEdit*>(f.editors[i])->text());
        }
        const char* wrong = check ? check(edited.data(), static_cast<int>(edited.size())) : nullptr;
        if (!wrong) return f.d.accept();
        f.problem->setText(QString::fromUtf8(wrong));
        f.problem->show();
    });
    return f.d.exec() == QDialog::Accepted ? 1 : 0;
}

}  // namespace

void platform::pictureOfNextForm(const std::string& path) { pictureNext = path; }

int FormPopup(const char* title, FormField* fields, int count, FormCheck check) {
    if (!fields || count <= 0) return 0;
    std::vector<FormField> before(fields, fields + count), edited;
    if (!pictureNext.empty()) {
        FormDialog f(title ? title : "", before);
        f.d.adjustSize();
        f.d.grab().save(QString::fromStdString(pictureNext), "PNG");
        pictureNext.clear();
    }
    if (platform::Popups* given = platform::givenPopups()) {
        std::vector<std::string> labels, values;
        for (const FormField& f : before) {
            labels.emplace_back(f.label);
            values.emplace_back(f.value);
        }
        if (given->form(title ? title : "", labels, &values) != 1) return 0;
        edited = before;
        for (int i = 0; i < count; ++i)
            if (edited[static_cast<std::size_t>(i)].kind != kFormNote)
                setValue(edited[static_cast<std::size_t>(i)], QString::fromStdString(values[static_cast<std::size_t>(i)]));
        // What the dialog would show and stay open with: the script's operator then gives up.
        if (const char* wrong = check ? check(edited.data(), count) : nullptr) {
            given->message(title ? title : "", wrong);
            return 0;
        }
    } else if (runDialog(title ? title : "", before, edited, check) != 1) {
        return 0;
    }
    std::copy(edited.begin(), edited.end(), fields);
    return 1;
}
