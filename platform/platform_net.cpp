// platform_net.cpp - fetching a small text file over HTTP for the update check: a blocking call
// that runs a local event loop (user input excluded) until the reply is complete, failed, too
// long or late.
#include "platform.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <cstdlib>

int plat_FetchText(const char* url, double timeoutSeconds, size_t maxBytes, std::string* out) {
    if (!out || !url || !*url) return kFetchFailed;
    out->clear();
    QUrl address(QString::fromUtf8(url));
    if (!address.isValid() || (address.scheme() != "http" && address.scheme() != "https")) return kFetchFailed;

    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply* reply = manager.get(request);
    // Qt reads no more from the connection than this, so an endless body is never taken in whole.
    reply->setReadBufferSize(qint64(maxBytes) + 1);

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    int result = noErr;
    QByteArray body;
    auto take = [&] {
        body += reply->readAll();
        if (size_t(body.size()) > maxBytes && result == noErr) {
            result = kFetchTooLarge;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toULongLong() > maxBytes && result == noErr) {
            result = kFetchTooLarge;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        if (result == noErr) result = kFetchTimedOut;
        reply->abort();
    });
    deadline.start(int(timeoutSeconds * 1000));
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (result == noErr) {
        take();
        if (result == noErr && reply->error() != QNetworkReply::NoError) result = kFetchFailed;
    }
    if (result == noErr) out->assign(body.constData(), size_t(body.size()));
    return result;
}

const char* plat_VersionFileURL(const char* builtIn) {
    const char* seam = getenv("VINTREL_UPDATE_URL");
    return seam && *seam ? seam : builtIn;
}
