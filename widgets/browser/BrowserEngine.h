#pragma once
// The settings every window that embeds the browser engine gives it: the form-page view the
// tool loads for its preview, the viewer program and the tests.

#include "widgets/browser/BrowserStart.h"

class QWebEngineProfile;
class QWebEngineSettings;
class QWebEngineView;

namespace vantrel::browser {

// Generated pages declare no character set and hold Windows-1252 bytes; without this
// default their umlauts would show garbled.
inline constexpr const char* kDefaultTextEncoding = "windows-1252";
void useWindows1252ByDefault(QWebEngineSettings* settings);
void useWindows1252ByDefault(QWebEngineProfile* profile);
void useWindows1252ByDefault(QWebEngineView* view);

// A page loaded from a file may not reach a web server unless allowed: without this the
// form's "Abschicken" ends in ERR_NETWORK_ACCESS_DENIED instead of posting to the form-mail
// script.
void letLocalPagesPostToTheWeb(QWebEngineSettings* settings);
void letLocalPagesPostToTheWeb(QWebEngineProfile* profile);
void letLocalPagesPostToTheWeb(QWebEngineView* view);

// Captions are raw HTML, so a project file from anyone can put a script into the page. A page
// loaded from a file may read no other local file, and it reaches the web only by navigating
// (the form's post to its receiver); images, frames, scripts and requests it would fetch from
// elsewhere are refused, so nothing can be loaded or sent behind the user's back.
void keepLocalPagesToThemselves(QWebEngineView* view);

// All of the above: what every view that shows a generated form page needs.
void setUpForFormPages(QWebEngineView* view);

}  // namespace vantrel::browser
