#pragma once

#include "messages/MessageStore.h"

#include <QWidget>
#include <memory>

class MessagePreview;
class OfflineHtmlView;
class Prompter;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// The copies of a message for each recipient of its list, one at a time.
class frmMessagePreview : public QWidget {
    Q_OBJECT
public:
    // Shows the preview of the draft (the editor's current content), or says why it cannot and answers
    // nullptr.
    static frmMessagePreview* showPreview(const MessageRecord& draft, Prompter& prompter, QWidget* parent);
    ~frmMessagePreview() override;

    const MessagePreview& preview() const { return *preview_; }

    // The picture shown for an image whose file is missing.
    static QImage missingImage(const QString& name);

private:
    frmMessagePreview(std::unique_ptr<MessagePreview> preview, QWidget* parent);
    void PreviewCurrentAddress();
    void cmdNext_Click();
    void cmdPrevious_Click();
    QVariant loadImage(int type, const QUrl& url) const;

    std::unique_ptr<MessagePreview> preview_;
    QLabel* to_;
    QLabel* subject_;
    QLabel* count_;
    QPushButton* previous_;
    QPushButton* next_;
    QTabWidget* tabs_;
    QPlainTextEdit* text_;
    OfflineHtmlView* html_;
};
