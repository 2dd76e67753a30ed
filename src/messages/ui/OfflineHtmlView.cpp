#include "messages/ui/OfflineHtmlView.h"

OfflineHtmlView::OfflineHtmlView(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant OfflineHtmlView::loadResource(int type, const QUrl& url) {
    return resolver_ ? resolver_(type, url) : QVariant();
}
