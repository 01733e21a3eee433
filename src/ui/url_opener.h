// Opens the service's web pages in the user's browser. Tests and the end-to-end checks record
// the addresses instead: CORVEL_URL_LOG names a file that receives one address per line.
#pragma once

#include <QString>
#include <functional>

namespace corvel {

using UrlOpener = std::function<void(const QString& url)>;

// The opener the client uses: the desktop's default handler, or the CORVEL_URL_LOG file.
UrlOpener SystemUrlOpener();

// Replaces the opener for the whole process (tests); an empty one restores the system's.
void SetUrlOpener(UrlOpener opener);
void OpenUrl(const QString& url);

}  // namespace corvel
