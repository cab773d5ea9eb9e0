#pragma once
// The system's web-browser control in a window of ours, hosted through plain COM: this object
// is the control's client site, in-place site and frame, answers its ambient properties
// (Windows-1252 for pages that declare no charset) and receives its events. As the document's
// host it keeps the control to the one form: no context menu beyond a text field's, no new
// browser windows, no file dropped in place of the form, a flat border.

#include <windows.h>
// The COM headers need windows.h first.
#include <exdisp.h>
#include <mshtmhst.h>
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
                          public IDocHostUIHandler,
                          public IDropTarget,
                          public IDispatch {
 public:
  // A host with its control in-place active in `parent`, or nullptr when the control cannot
  // be created. The caller owns one reference.
  static BrowserHost* create(HWND parent, BrowserListener* listener);

  // Shows the form page; the page reached this way is the one read as Windows-1252.
  bool openForm(const std::wstring& pageFile);
  void goBack();
  void goForward();
  // Reads the page shown again, unless that would send a form again: the receiver's answer to
  // a sent form stays as it is.
  void reload();
  void print();
  void place(const RECT& area);
  // Gives the keyboard to the page: the control becomes UI-active and its document takes the
  // focus, so Tab and Enter work in the form.
  void focusPage();
  // Whether the keyboard focus is in the control's windows.
  [[nodiscard]] bool hasFocus() const;
  // Tells the active control that the window around it was activated or deactivated.
  void frameActivated(bool active);
  // Whether the control would take a file dropped on it.
  [[nodiscard]] bool acceptsDrops() const;
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
  // (IOleInPlaceFrame and IDocHostUIHandler alike)
  STDMETHODIMP EnableModeless(BOOL enable) override;
  STDMETHODIMP TranslateAccelerator(LPMSG message, WORD id) override;
  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD kind, POINT* where, IUnknown* commands,
                               IDispatch* element) override;
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
  STDMETHODIMP ShowUI(DWORD kind, IOleInPlaceActiveObject* active, IOleCommandTarget* commands,
                      IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) override;
  STDMETHODIMP HideUI() override;
  STDMETHODIMP UpdateUI() override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID* group, DWORD command) override;
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
  STDMETHODIMP GetDropTarget(IDropTarget* theirs, IDropTarget** ours) override;
  STDMETHODIMP GetExternal(IDispatch** external) override;
  STDMETHODIMP TranslateUrl(DWORD reserved, OLECHAR* in, OLECHAR** out) override;
  STDMETHODIMP FilterDataObject(IDataObject* in, IDataObject** out) override;
  // IDropTarget: what the document would take, refused
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL where, DWORD* effect) override;
  STDMETHODIMP DragOver(DWORD keys, POINTL where, DWORD* effect) override;
  STDMETHODIMP DragLeave() override;
  STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL where, DWORD* effect) override;
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
  bool navigateTo(const std::wstring& address);
  bool isTopLevel(IDispatch* frame) const;
  void onBeforeNavigate(IDispatch* frame, const VARIANT& postData);
  void onDocumentComplete(IDispatch* frame, const std::wstring& address);
  void onNewWindow(DISPPARAMS* parameters, bool withAddress);
  void readAsWindows1252();
  HWND documentWindow() const;

  LONG references_ = 1;
  HWND parent_;
  BrowserListener* listener_;
  IOleObject* object_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  IConnectionPoint* events_ = nullptr;
  IOleInPlaceActiveObject* active_ = nullptr;
  DWORD eventsCookie_ = 0;
  RECT area_{};
  // The form page's address as the control spells it, known once it has been shown.
  std::wstring formAddress_;
  bool awaitingForm_ = false;
  bool onForm_ = false;
  // Whether the top-level navigation under way, and the page shown, carried posted data.
  bool posting_ = false;
  bool shownFromPost_ = false;
  // The control reloads the form page once with Windows-1252 when it read it otherwise.
  bool charsetChecked_ = false;
  bool canGoBack_ = false;
  bool canGoForward_ = false;
};

}  // namespace vantrel::winviewer
