#include "ui/url_opener.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

namespace corvel {
namespace {

UrlOpener& CurrentOpener() {
  static UrlOpener opener;
  return opener;
}

}  // namespace

UrlOpener SystemUrlOpener() {
  const QString log = qEnvironmentVariable("CORVEL_URL_LOG");
  if (!log.isEmpty()) {
    return [log](const QString& url) {
      QFile file(log);
      if (file.open(QIODevice::Append | QIODevice::Text)) file.write((url + "\n").toUtf8());
    };
  }
  return [](const QString& url) { QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode)); };
}

void SetUrlOpener(UrlOpener opener) {
  CurrentOpener() = std::move(opener);
}

void OpenUrl(const QString& url) {
  // Only called on the UI thread, like every window operation.
  if (!CurrentOpener()) CurrentOpener() = SystemUrlOpener();
  CurrentOpener()(url);
}

}  // namespace corvel
