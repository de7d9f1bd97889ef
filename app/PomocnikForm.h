// The Help window: fixed working instructions for the operator.
#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTextEdit;

class TPomocnikForm : public QDialog {
    Q_OBJECT
public:
    explicit TPomocnikForm(QWidget* owner = nullptr);

    // The instructions, one entry per line, exactly as shown.
    static QStringList HelpLines();

    QTextEdit* RichEdit1 = nullptr;
    QPushButton* CloseBtn = nullptr;

    // Grows the text box, and the window with it, until the whole text shows without
    // scrolling down in the box's font.
    void FitTextHeight();

protected:
    void showEvent(QShowEvent* event) override;
};

// Shows the Help window modally over its owner and releases it when it closes.
void ShowPomocnik(QWidget* owner);
