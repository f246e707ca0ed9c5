#include "platform/desktop/Dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace platform {

void QtDialogs::MessageBox(const QString& caption, const QString& text, Icon icon)
{
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None: break;
    case Icon::Information: qtIcon = QMessageBox::Information; break;
    case Icon::Warning: qtIcon = QMessageBox::Warning; break;
    case Icon::Error: qtIcon = QMessageBox::Critical; break;
    }
    QMessageBox box(qtIcon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtDialogs::InputQuery(const QString& caption, const QString& prompt, QString& value, int maxLength)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(prompt, &dialog));
    auto* edit = new QLineEdit(value, &dialog);
    edit->setMaxLength(maxLength);
    edit->selectAll();
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(300);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = edit->text();
    return true;
}

QString QtDialogs::SaveFileName(const QString& caption, const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(QApplication::activeWindow(), caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    // The store refuses to write over an existing file, so asking to overwrite would mislead.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace platform
