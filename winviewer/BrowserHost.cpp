#include "winviewer/BrowserHost.h"

#include <exdispid.h>
#include <mshtml.h>
#include <olectl.h>

#include <initializer_list>

namespace vantrel::winviewer {
namespace {

constexpr const wchar_t* kPageCharset = L"windows-1252";
constexpr long kWindows1252 = 1252;

template <typename T>
void releaseAndClear(T*& pointer) {
  if (pointer) pointer->Release();
  pointer = nullptr;
}

// An event's arguments come last to first.
const VARIANT& argument(const DISPPARAMS* parameters, UINT fromFirst) {
  return parameters->rgvarg[parameters->cArgs - 1 - fromFirst];
}

IDispatch* dispatchOf(const VARIANT& value) {
  if (value.vt == VT_DISPATCH) return value.pdispVal;
  if (value.vt == (VT_DISPATCH | VT_BYREF) && value.ppdispVal) return *value.ppdispVal;
  return nullptr;
}

bool boolOf(const VARIANT& value) {
  if (value.vt == VT_BOOL) return value.boolVal != VARIANT_FALSE;
  if (value.vt == (VT_BOOL | VT_BYREF) && value.pboolVal) return *value.pboolVal != VARIANT_FALSE;
  return false;
}

long longOf(const VARIANT& value) {
  if (value.vt == VT_I4) return value.lVal;
  if (value.vt == (VT_I4 | VT_BYREF) && value.plVal) return *value.plVal;
  return 0;
}

// Events pass some arguments as a reference to a VARIANT holding the value.
const VARIANT& dereferenced(const VARIANT& value) {
  if (value.vt == (VT_VARIANT | VT_BYREF) && value.pvarVal) return *value.pvarVal;
  return value;
}

std::wstring textOf(const VARIANT& value) {
  const VARIANT& held = dereferenced(value);
  if (held.vt == VT_BSTR && held.bstrVal) return held.bstrVal;
  if (held.vt == (VT_BSTR | VT_BYREF) && held.pbstrVal && *held.pbstrVal) return *held.pbstrVal;
  return std::wstring();
}

bool holdsBytes(const VARIANT& value) {
  const VARIANT& held = dereferenced(value);
  return (held.vt & VT_ARRAY) && held.parray && held.parray->cDims > 0 &&
         held.parray->rgsabound[0].cElements > 0;
}

void setBoolReference(const VARIANT& value, bool on) {
  if (value.vt == (VT_BOOL | VT_BYREF) && value.pboolVal)
    *value.pboolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
}

bool controlKey(const MSG& message, std::initializer_list<UINT> keys) {
  if (message.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0) return false;
  for (UINT key : keys)
    if (message.wParam == key) return true;
  return false;
}

}  // namespace

BrowserHost* BrowserHost::create(HWND parent, BrowserListener* listener) {
  auto* host = new BrowserHost(parent, listener);
  if (!host->embed()) {
    host->close();
    host->Release();
    return nullptr;
  }
  host->connectEvents();
  return host;
}

bool BrowserHost::embed() {
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&object_))))
    return false;
  if (FAILED(object_->SetClientSite(this))) return false;
  OleSetContainedObject(object_, TRUE);
  GetClientRect(parent_, &area_);
  if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, parent_, &area_)))
    return false;
  if (FAILED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_))))
    return false;
  // A file dropped on the window would be opened in place of the form.
  browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
  return true;
}

void BrowserHost::connectEvents() {
  IConnectionPointContainer* container = nullptr;
  if (FAILED(browser_->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(&container))))
    return;
  if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_)) &&
      FAILED(events_->Advise(static_cast<IDispatch*>(this), &eventsCookie_))) {
    releaseAndClear(events_);
  }
  container->Release();
}

bool BrowserHost::openForm(const std::wstring& pageFile) {
  if (!browser_) return false;
  charsetChecked_ = false;
  awaitingForm_ = true;
  return navigateTo(pageFile);
}

bool BrowserHost::navigateTo(const std::wstring& address) {
  VARIANT target;
  VariantInit(&target);
  target.vt = VT_BSTR;
  target.bstrVal = SysAllocString(address.c_str());
  VARIANT empty;
  VariantInit(&empty);
  const HRESULT result = browser_->Navigate2(&target, &empty, &empty, &empty, &empty);
  VariantClear(&target);
  return SUCCEEDED(result);
}

void BrowserHost::goBack() {
  if (browser_) browser_->GoBack();
}
void BrowserHost::goForward() {
  if (browser_) browser_->GoForward();
}
void BrowserHost::reload() {
  if (!browser_) return;
  // The page that answered a sent form would be asked for with the form's data once more.
  if (shownFromPost_ && !onForm_) return;
  // The control may read the reloaded form with its own guess again: checked once more.
  if (onForm_) charsetChecked_ = false;
  browser_->Refresh();
}
void BrowserHost::print() {
  if (browser_) browser_->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
}

HWND BrowserHost::documentWindow() const {
  HWND window = nullptr;
  IDispatch* document = nullptr;
  if (!browser_ || FAILED(browser_->get_Document(&document)) || !document) return nullptr;
  IOleWindow* own = nullptr;
  if (SUCCEEDED(document->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&own)))) {
    own->GetWindow(&window);
    own->Release();
  }
  document->Release();
  return window;
}

void BrowserHost::focusPage() {
  if (!object_) return;
  object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, parent_, &area_);
  // UI activation gives the focus to the control's outer window; the keys must reach the
  // document inside it.
  HWND document = documentWindow();
  if (document && GetFocus() != document && !IsChild(document, GetFocus())) SetFocus(document);
}

bool BrowserHost::hasFocus() const {
  HWND own = nullptr;
  IOleWindow* window = nullptr;
  if (browser_ &&
      SUCCEEDED(browser_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)))) {
    window->GetWindow(&own);
    window->Release();
  }
  const HWND focus = GetFocus();
  return own && focus && (focus == own || IsChild(own, focus));
}

void BrowserHost::frameActivated(bool active) {
  if (active_) active_->OnFrameWindowActivate(active ? TRUE : FALSE);
}

bool BrowserHost::acceptsDrops() const {
  VARIANT_BOOL accepts = VARIANT_TRUE;
  if (!browser_ || FAILED(browser_->get_RegisterAsDropTarget(&accepts))) return true;
  return accepts != VARIANT_FALSE;
}

void BrowserHost::place(const RECT& area) {
  area_ = area;
  IOleInPlaceObject* inPlace = nullptr;
  if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject,
                                                   reinterpret_cast<void**>(&inPlace)))) {
    inPlace->SetObjectRects(&area, &area);
    inPlace->Release();
  }
}

bool BrowserHost::translateKey(MSG& message) {
  if (!browser_ || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  HWND own = nullptr;
  IOleWindow* window = nullptr;
  if (SUCCEEDED(browser_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)))) {
    window->GetWindow(&own);
    window->Release();
  }
  // Only keys meant for the page: the window's own buttons keep theirs.
  if (!own || (message.hwnd != own && !IsChild(own, message.hwnd))) return false;
  // The object the control named active when it became UI-active, else the control itself.
  IOleInPlaceActiveObject* active = active_;
  if (active) {
    active->AddRef();
  } else if (FAILED(browser_->QueryInterface(IID_IOleInPlaceActiveObject,
                                             reinterpret_cast<void**>(&active)))) {
    return false;
  }
  const bool handled = active->TranslateAccelerator(&message) == S_OK;
  active->Release();
  return handled;
}

void BrowserHost::close() {
  if (events_) {
    events_->Unadvise(eventsCookie_);
    releaseAndClear(events_);
  }
  releaseAndClear(active_);
  if (browser_) browser_->Stop();
  releaseAndClear(browser_);
  if (object_) {
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(
            object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
      inPlace->InPlaceDeactivate();
      inPlace->Release();
    }
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
  }
  releaseAndClear(object_);
  listener_ = nullptr;
}

bool BrowserHost::isTopLevel(IDispatch* frame) const {
  if (!frame || !browser_) return false;
  IUnknown* theirs = nullptr;
  IUnknown* ours = nullptr;
  frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theirs));
  browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ours));
  const bool same = theirs && theirs == ours;
  if (theirs) theirs->Release();
  if (ours) ours->Release();
  return same;
}

void BrowserHost::readAsWindows1252() {
  IDispatch* document = nullptr;
  if (FAILED(browser_->get_Document(&document)) || !document) return;
  IHTMLDocument2* html = nullptr;
  if (SUCCEEDED(document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html)))) {
    BSTR charset = nullptr;
    const bool wrong =
        SUCCEEDED(html->get_charset(&charset)) && (!charset || lstrcmpiW(charset, kPageCharset));
    SysFreeString(charset);
    if (wrong) {
      BSTR wanted = SysAllocString(kPageCharset);
      if (SUCCEEDED(html->put_charset(wanted))) browser_->Refresh();
      SysFreeString(wanted);
    }
    html->Release();
  }
  document->Release();
}

void BrowserHost::onBeforeNavigate(IDispatch* frame, const VARIANT& postData) {
  if (isTopLevel(frame)) posting_ = holdsBytes(postData);
}

void BrowserHost::onDocumentComplete(IDispatch* frame, const std::wstring& address) {
  if (!isTopLevel(frame)) return;
  if (awaitingForm_) {
    formAddress_ = address;
    awaitingForm_ = false;
  }
  onForm_ = !formAddress_.empty() && address == formAddress_;
  shownFromPost_ = posting_;
  posting_ = false;
  // The form page declares no charset; where the control guessed another one despite the
  // ambient code page, it reads the page once more as Windows-1252. Other pages (the
  // receiver's answer) are read as they say: reading them again could send the form again.
  if (onForm_ && !charsetChecked_) {
    charsetChecked_ = true;
    readAsWindows1252();
  }
  if (listener_) listener_->pageLoaded();
}

void BrowserHost::onNewWindow(DISPPARAMS* parameters, bool withAddress) {
  // No second browser window: a link with a target opens in this window, other requests
  // (scripts, Shift+click) nowhere.
  if (parameters->cArgs < 2) return;
  setBoolReference(argument(parameters, 1), true);
  if (!withAddress || parameters->cArgs < 5 || !browser_) return;
  const std::wstring address = textOf(argument(parameters, 4));
  if (!address.empty()) navigateTo(address);
}

// IUnknown

STDMETHODIMP BrowserHost::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame) {
    *object = static_cast<IOleInPlaceFrame*>(this);
  } else if (riid == IID_IDocHostUIHandler) {
    *object = static_cast<IDocHostUIHandler*>(this);
  } else if (riid == IID_IDropTarget) {
    *object = static_cast<IDropTarget*>(this);
  } else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
    *object = static_cast<IDispatch*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) BrowserHost::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) BrowserHost::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// IOleClientSite: a site without storage of its own.

STDMETHODIMP BrowserHost::SaveObject() { return E_NOTIMPL; }
STDMETHODIMP BrowserHost::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserHost::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}
STDMETHODIMP BrowserHost::ShowObject() { return S_OK; }
STDMETHODIMP BrowserHost::OnShowWindow(BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::RequestNewObjectLayout() { return E_NOTIMPL; }

// IOleWindow

STDMETHODIMP BrowserHost::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = parent_;
  return S_OK;
}
STDMETHODIMP BrowserHost::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// IOleInPlaceSite: the control may always activate in place, over the area the window gives.

STDMETHODIMP BrowserHost::CanInPlaceActivate() { return S_OK; }
STDMETHODIMP BrowserHost::OnInPlaceActivate() { return S_OK; }
STDMETHODIMP BrowserHost::OnUIActivate() { return S_OK; }
STDMETHODIMP BrowserHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip,
                                           LPOLEINPLACEFRAMEINFO frameInfo) {
  if (!frame || !document || !position || !clip || !frameInfo) return E_POINTER;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *document = nullptr;
  GetClientRect(parent_, position);
  GetClientRect(parent_, clip);
  frameInfo->fMDIApp = FALSE;
  frameInfo->hwndFrame = parent_;
  frameInfo->haccel = nullptr;
  frameInfo->cAccelEntries = 0;
  return S_OK;
}
STDMETHODIMP BrowserHost::Scroll(SIZE) { return S_OK; }
STDMETHODIMP BrowserHost::OnUIDeactivate(BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::OnInPlaceDeactivate() { return S_OK; }
STDMETHODIMP BrowserHost::DiscardUndoState() { return S_OK; }
STDMETHODIMP BrowserHost::DeactivateAndUndo() { return S_OK; }
STDMETHODIMP BrowserHost::OnPosRectChange(LPCRECT position) {
  if (position) place(*position);
  return S_OK;
}

// IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space and no menus are shared.

STDMETHODIMP BrowserHost::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP BrowserHost::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP BrowserHost::SetBorderSpace(LPCBORDERWIDTHS) { return OLE_E_INVALIDRECT; }
STDMETHODIMP BrowserHost::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
  if (object) object->AddRef();
  releaseAndClear(active_);
  active_ = object;
  return S_OK;
}
STDMETHODIMP BrowserHost::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return E_NOTIMPL; }
STDMETHODIMP BrowserHost::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }
STDMETHODIMP BrowserHost::RemoveMenus(HMENU) { return E_NOTIMPL; }
STDMETHODIMP BrowserHost::SetStatusText(LPCOLESTR text) {
  if (listener_ && text) listener_->statusText(text);
  return S_OK;
}
STDMETHODIMP BrowserHost::EnableModeless(BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

// IDocHostUIHandler

STDMETHODIMP BrowserHost::ShowContextMenu(DWORD kind, POINT*, IUnknown*, IDispatch*) {
  // A text field keeps its menu (cut, copy, paste); the page's own menu, with "View Source"
  // and the like, is not shown (S_OK: the host has handled it).
  return kind == CONTEXT_MENU_CONTROL ? S_FALSE : S_OK;
}
STDMETHODIMP BrowserHost::GetHostInfo(DOCHOSTUIINFO* info) {
  if (!info) return E_POINTER;
  info->dwFlags = DOCHOSTUIFLAG_NO3DOUTERBORDER;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  info->pchHostCss = nullptr;
  info->pchHostNS = nullptr;
  return S_OK;
}
STDMETHODIMP BrowserHost::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                 IOleInPlaceFrame*, IOleInPlaceUIWindow*) {
  return S_OK;  // the window's own menu and tool bar stay; the control adds none
}
STDMETHODIMP BrowserHost::HideUI() { return S_OK; }
STDMETHODIMP BrowserHost::UpdateUI() { return S_OK; }
STDMETHODIMP BrowserHost::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::TranslateAccelerator(LPMSG message, const GUID*, DWORD) {
  // Keys that would open another browser window (new window, open address) are swallowed,
  // and so are the control's own reloads, which would send a sent form again ("Neu laden" and
  // F5 are the window's).
  if (message && controlKey(*message, {'N', 'O', 'L', 'R', VK_F5})) return S_OK;
  return S_FALSE;
}
STDMETHODIMP BrowserHost::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key) *key = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserHost::GetDropTarget(IDropTarget*, IDropTarget** ours) {
  if (!ours) return E_POINTER;
  *ours = static_cast<IDropTarget*>(this);
  AddRef();
  return S_OK;
}
STDMETHODIMP BrowserHost::GetExternal(IDispatch** external) {
  if (external) *external = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserHost::TranslateUrl(DWORD, OLECHAR*, OLECHAR** out) {
  if (out) *out = nullptr;
  return S_FALSE;
}
STDMETHODIMP BrowserHost::FilterDataObject(IDataObject*, IDataObject** out) {
  if (out) *out = nullptr;
  return S_FALSE;
}

// IDropTarget

STDMETHODIMP BrowserHost::DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) {
  if (effect) *effect = DROPEFFECT_NONE;
  return S_OK;
}
STDMETHODIMP BrowserHost::DragOver(DWORD, POINTL, DWORD* effect) {
  if (effect) *effect = DROPEFFECT_NONE;
  return S_OK;
}
STDMETHODIMP BrowserHost::DragLeave() { return S_OK; }
STDMETHODIMP BrowserHost::Drop(IDataObject*, DWORD, POINTL, DWORD* effect) {
  if (effect) *effect = DROPEFFECT_NONE;
  return S_OK;
}

// IDispatch

STDMETHODIMP BrowserHost::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
STDMETHODIMP BrowserHost::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserHost::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

STDMETHODIMP BrowserHost::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                 VARIANT* result, EXCEPINFO*, UINT*) {
  if (id == DISPID_AMBIENT_CODEPAGE) {
    if (!result) return E_POINTER;
    result->vt = VT_I4;
    result->lVal = kWindows1252;
    return S_OK;
  }
  if (!parameters) return DISP_E_MEMBERNOTFOUND;
  switch (id) {
    case DISPID_NEWWINDOW2:
      onNewWindow(parameters, false);
      return S_OK;
    case DISPID_NEWWINDOW3:
      onNewWindow(parameters, true);
      return S_OK;
    default:
      break;
  }
  if (!listener_) return DISP_E_MEMBERNOTFOUND;
  switch (id) {
    case DISPID_BEFORENAVIGATE2:
      if (parameters->cArgs >= 5)
        onBeforeNavigate(dispatchOf(argument(parameters, 0)), argument(parameters, 4));
      return S_OK;
    case DISPID_DOCUMENTCOMPLETE:
      if (parameters->cArgs >= 2)
        onDocumentComplete(dispatchOf(argument(parameters, 0)), textOf(argument(parameters, 1)));
      return S_OK;
    case DISPID_NAVIGATEERROR:
      if (parameters->cArgs >= 1 && isTopLevel(dispatchOf(argument(parameters, 0))))
        listener_->navigationFailed();
      return S_OK;
    case DISPID_STATUSTEXTCHANGE:
      if (parameters->cArgs >= 1 && argument(parameters, 0).vt == VT_BSTR &&
          argument(parameters, 0).bstrVal)
        listener_->statusText(argument(parameters, 0).bstrVal);
      return S_OK;
    case DISPID_COMMANDSTATECHANGE:
      if (parameters->cArgs >= 2) {
        const long command = longOf(argument(parameters, 0));
        const bool enabled = boolOf(argument(parameters, 1));
        if (command == CSC_NAVIGATEBACK) canGoBack_ = enabled;
        if (command == CSC_NAVIGATEFORWARD) canGoForward_ = enabled;
        listener_->historyChanged(canGoBack_, canGoForward_);
      }
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace vantrel::winviewer
