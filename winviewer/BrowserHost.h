#pragma once
// The system's web-browser control in a window of ours, hosted through plain COM: this object
// is the control's client site, in-place site and frame, answers its ambient properties
// (Windows-1252 for pages that declare no charset) and receives its events.

#include <windows.h>
// The COM headers need windows.h first.
#include <exdisp.h>
#include <ocidl.h>
#include <oleidl.h>

#include <string>

namespace vantrel::winviewer {

// What the window hears of the control.
class BrowserListener {
 public:
  virtual ~BrowserListener() = default;
  virtual void pageLoaded() = 0;
  // A navigation of the top-level page failed (no engine, file unreadable, network).
  virtual void navigationFailed() = 0;
  virtual void statusText(const std::wstring& text) = 0;
  virtual void historyChanged(bool canGoBack, bool canGoForward) = 0;
};

class BrowserHost final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDispatch {
 public:
  // A host with its control in-place active in `parent`, or nullptr when the control cannot
  // be created. The caller owns one reference.
  static BrowserHost* create(HWND parent, BrowserListener* listener);

  bool navigate(const std::wstring& address);
  void goBack();
  void goForward();
  void reload();
  void print();
  void place(const RECT& area);
  // Lets the control handle its keys (Tab between fields, shortcuts); true when it did.
  bool translateKey(MSG& message);
  // Deactivates and lets go of the control; the host may still be referenced by COM.
  void close();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IOleClientSite
  STDMETHODIMP SaveObject() override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override;
  STDMETHODIMP OnShowWindow(BOOL show) override;
  STDMETHODIMP RequestNewObjectLayout() override;
  // IOleWindow (for the in-place site and the frame alike)
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override;
  STDMETHODIMP OnInPlaceActivate() override;
  STDMETHODIMP OnUIActivate() override;
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO frameInfo) override;
  STDMETHODIMP Scroll(SIZE extent) override;
  STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
  STDMETHODIMP OnInPlaceDeactivate() override;
  STDMETHODIMP DiscardUndoState() override;
  STDMETHODIMP DeactivateAndUndo() override;
  STDMETHODIMP OnPosRectChange(LPCRECT position) override;
  // IOleInPlaceUIWindow
  STDMETHODIMP GetBorder(LPRECT border) override;
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS widths) override;
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override;
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR name) override;
  // IOleInPlaceFrame
  STDMETHODIMP InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
  STDMETHODIMP SetMenu(HMENU shared, HOLEMENU descriptor, HWND activeObject) override;
  STDMETHODIMP RemoveMenus(HMENU shared) override;
  STDMETHODIMP SetStatusText(LPCOLESTR text) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;
  STDMETHODIMP TranslateAccelerator(LPMSG message, WORD id) override;
  // IDispatch: ambient properties for the control, DWebBrowserEvents2 from it
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* parameters,
                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

 private:
  BrowserHost(HWND parent, BrowserListener* listener) : parent_(parent), listener_(listener) {}
  ~BrowserHost() = default;
  bool embed();
  void connectEvents();
  bool isTopLevel(IDispatch* frame) const;
  void onDocumentComplete(IDispatch* frame);
  void readAsWindows1252();

  LONG references_ = 1;
  HWND parent_;
  BrowserListener* listener_;
  IOleObject* object_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  IConnectionPoint* events_ = nullptr;
  DWORD eventsCookie_ = 0;
  // The control reloads a page once with Windows-1252 when it read it otherwise.
  bool charsetChecked_ = false;
  bool canGoBack_ = false;
  bool canGoForward_ = false;
};

}  // namespace vantrel::winviewer
