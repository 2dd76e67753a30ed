#pragma once

#include <QTextBrowser>
#include <functional>

// A read-only rendering of HTML with Qt's rich-text engine that loads nothing by itself: no network,
// no files. Images come only from the resolver (none when it has no answer).
class OfflineHtmlView : public QTextBrowser {
    Q_OBJECT
public:
    using Resolver = std::function<QVariant(int type, const QUrl& url)>;

    explicit OfflineHtmlView(QWidget* parent = nullptr);
    void setResolver(Resolver resolver) { resolver_ = std::move(resolver); }
    QVariant loadResource(int type, const QUrl& url) override;

private:
    Resolver resolver_;
};
