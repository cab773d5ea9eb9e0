#pragma once
// Starting the browser engine: its command-line flags and the OpenGL context it shares with the
// application. Nothing here loads the engine, so a program can link this and still start
// without it (the tool loads the engine when its preview is first shown).

#include <QStringList>

namespace vantrel::browser {

// The engine's own traffic (updates, safe-browsing lists, metrics) has nowhere to go on a
// closed network; only the page's own requests should leave the process.
QStringList closedNetworkFlags();

// The engine's command-line flags: `extraFlags` after the closed-network ones, and the
// sandbox switched off when running as root, where Chromium refuses to start with it.
QStringList engineFlags(bool runningAsRoot, const QStringList& extraFlags);

// One value for QTWEBENGINE_CHROMIUM_FLAGS; a flag with blanks in it stays one flag.
QString joinEngineFlags(const QStringList& flags);

// Must run before the QApplication is created in a program that links the engine: the engine
// then asks for the shared context at the application's start. Flags already in
// QTWEBENGINE_CHROMIUM_FLAGS are kept and come first. `extraFlags` are for callers with needs
// of their own, such as --host-resolver-rules in tests.
void prepareBrowserEngine(const QStringList& extraFlags = {});

// For a program that loads the engine only when it first shows a page: the same flags, and the
// shared context made now, on the GUI thread, before the engine is loaded. Making that context
// loads the system's OpenGL (software rendering on most machines, tens of MB), which is why it
// is not made at the start. Does nothing when the shared context exists already (the engine was
// prepared before the application, or this ran before).
void prepareBrowserEngineLate();

// Whether the context the engine renders through has been made.
bool browserEngineContextReady();

}  // namespace vantrel::browser
