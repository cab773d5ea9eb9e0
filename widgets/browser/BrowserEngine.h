#pragma once
// Start-up and settings shared by every window that embeds the browser engine: the preview
// tab, the viewer program and the tests.

#include <QStringList>

class QWebEngineProfile;
class QWebEngineSettings;
class QWebEngineView;

namespace vantrel::browser {

// The engine's own traffic (updates, safe-browsing lists, metrics) has nowhere to go on a
// closed network; only the page's own requests should leave the process.
QStringList closedNetworkFlags();

// The engine's command-line flags: `extraFlags` after the closed-network ones, and the
// sandbox switched off when running as root, where Chromium refuses to start with it.
QStringList engineFlags(bool runningAsRoot, const QStringList& extraFlags);

// One value for QTWEBENGINE_CHROMIUM_FLAGS; a flag with blanks in it stays one flag.
QString joinEngineFlags(const QStringList& flags);

// Must run before the QApplication is created: the engine reads its flags and the sandbox
// setting once, when it starts. Flags already in QTWEBENGINE_CHROMIUM_FLAGS are kept and come
// first. `extraFlags` are for callers with needs of their own, such as
// --host-resolver-rules in tests.
void prepareBrowserEngine(const QStringList& extraFlags = {});

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

// Both of the above: what every view that shows a generated form page needs.
void setUpForFormPages(QWebEngineView* view);

}  // namespace vantrel::browser
