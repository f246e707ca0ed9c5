// The modal dialogs the program asks questions with; tests replace them with scripted ones.
#pragma once

#include <QString>

class QWidget;

namespace platform {

class Dialogs {
public:
    enum class Icon { None, Information, Warning, Error };

    virtual ~Dialogs() = default;

    // A message box with an OK button.
    virtual void MessageBox(const QString& caption, const QString& text, Icon icon) = 0;

    // OK returns true with the edited text in `value`; Cancel or Escape returns false and
    // leaves `value` as it was. The text is limited to `maxLength` characters.
    virtual bool InputQuery(const QString& caption, const QString& prompt, QString& value, int maxLength) = 0;

    // The save-file dialog; an empty result means the user cancelled.
    virtual QString SaveFileName(const QString& caption, const QString& filter, const QString& defaultSuffix) = 0;
};

// The real dialogs, with Qt's widgets.
class QtDialogs : public Dialogs {
public:
    void MessageBox(const QString& caption, const QString& text, Icon icon) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value, int maxLength) override;
    QString SaveFileName(const QString& caption, const QString& filter, const QString& defaultSuffix) override;
};

} // namespace platform
