#pragma once
// The one thing the program asks of a web browser: open a page in a new window. Behind an
// interface so that tests record the address instead of starting a browser.

class QUrl;

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Opens `url` in a new window of the system's browser; false when that was refused.
    virtual bool open(const QUrl& url) = 0;
};

// The real thing: QDesktopServices.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override;
};
