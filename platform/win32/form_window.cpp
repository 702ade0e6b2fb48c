#include "platform/win32/form_window.h"

#include "platform/win32/window_class.h"

// After windows.h.
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

#include "platform/picture.h"

namespace velmaris {

namespace {

constexpr wchar_t kClassName[] = L"VelmarisForm";
// Two lines of the forms' text and the box's border.
constexpr int kMultiLineTwips = 600;
// The first child's control id; the rest follow in the model's order.
constexpr int kFirstId = 100;
// The pixel height of the forms' text at 96 dots an inch, as the Qt renderer draws it.
constexpr int kFontPixels = 12;
// How far a drop-down list opens below its box.
constexpr int kDropDownPixels = 200;

// The class lives while a window of it does; registered with its procedure at the first use.
WindowClass& FormClass(WNDPROC procedure = nullptr) {
  // The common controls the forms are made of.
  static const bool common = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  (void)common;
  static WindowClass window_class(kClassName, procedure, true);
  return window_class;
}

std::wstring W(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

std::u16string U(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

void SetText(HWND window, const std::wstring& text) {
  if (WindowText(window) != text) SetWindowTextW(window, text.c_str());
}

// A multi-line box shows "\r\n" line ends; the model may hold bare "\n" ones too.
std::wstring ScreenLines(std::u16string_view text) {
  std::wstring lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) lines.push_back(L'\r');
    lines.push_back(static_cast<wchar_t>(text[i]));
  }
  return lines;
}

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// The forms' Chinese text: the system's Chinese UI font where there is one; under Wine the
// desktop's own Chinese font, which the Qt renderer draws with too.
HFONT MakeFont(int dpi) {
  static constexpr const wchar_t* kFaces[] = {L"Microsoft YaHei", L"SimSun", L"WenQuanYi Micro Hei",
                                              L"Noto Sans CJK SC"};
  HDC screen = GetDC(nullptr);
  for (const wchar_t* face : kFaces) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(screen, &wanted, FontFound, reinterpret_cast<LPARAM>(&found), 0);
    if (!found) continue;
    ReleaseDC(nullptr, screen);
    return CreateFontW(-MulDiv(kFontPixels, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face);
  }
  ReleaseDC(nullptr, screen);
  return nullptr;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int CheckOf(int checked) {
  switch (checked) {
    case 1:
      return BST_CHECKED;
    case 2:
      return BST_INDETERMINATE;
    default:
      return BST_UNCHECKED;
  }
}

void ReportToStandardError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmaris: %s\n", e.what());
  } catch (...) {
    std::fputs("velmaris: error in a form handler\n", stderr);
  }
}

// A picture as a bitmap of `width` × `height` pixels, stretched to fill it; its transparent
// pixels over the form's face colour.
HBITMAP PictureBitmap(const Picture& picture, int width, int height) {
  if (width <= 0 || height <= 0 || picture.size.width <= 0 || picture.size.height <= 0) {
    return nullptr;
  }
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  std::vector<uint8_t> bgra(picture.rgba.size());
  for (size_t i = 0; i + 3 < picture.rgba.size(); i += 4) {
    const int alpha = picture.rgba[i + 3];
    auto over = [alpha](int color, int back) {
      return static_cast<uint8_t>((color * alpha + back * (255 - alpha) + 127) / 255);
    };
    bgra[i] = over(picture.rgba[i + 2], GetBValue(face));
    bgra[i + 1] = over(picture.rgba[i + 1], GetGValue(face));
    bgra[i + 2] = over(picture.rgba[i], GetRValue(face));
    bgra[i + 3] = 0;
  }
  BITMAPINFO source{};
  source.bmiHeader.biSize = sizeof source.bmiHeader;
  source.bmiHeader.biWidth = picture.size.width;
  source.bmiHeader.biHeight = -picture.size.height;  // rows from the top
  source.bmiHeader.biPlanes = 1;
  source.bmiHeader.biBitCount = 32;
  source.bmiHeader.biCompression = BI_RGB;
  BITMAPINFO target = source;
  target.bmiHeader.biWidth = width;
  target.bmiHeader.biHeight = -height;
  target.bmiHeader.biBitCount = 24;  // no alpha, so the static control takes it as it is
  HDC screen = GetDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &target, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, 0, 0, width, height, 0, 0, picture.size.width, picture.size.height,
                  bgra.data(), &source, DIB_RGB_COLORS, SRCCOPY);
    SelectObject(dc, old);
    DeleteDC(dc);
  }
  ReleaseDC(nullptr, screen);
  return bitmap;
}

}  // namespace

FormWindow::FormWindow(Form& form, std::shared_ptr<void> owner)
    : m_form(form), m_owner(std::move(owner)) {}

std::unique_ptr<FormWindow> FormWindow::Create(Form& form, HWND parent, POINT position,
                                               std::shared_ptr<void> owner) {
  std::unique_ptr<FormWindow> window(new FormWindow(form, std::move(owner)));
  if (!window->Build(parent, position)) return nullptr;
  return window;
}

bool FormWindow::Build(HWND parent, POINT position) {
  if (!FormClass(&Procedure).Use()) return false;
  m_built = true;
  m_dpi = ScreenDpi();
  m_font = MakeFont(m_dpi);
  m_shown_font = m_font != nullptr ? m_font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (HDC screen = GetDC(nullptr)) {
    HGDIOBJ old = SelectObject(screen, m_shown_font);
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(screen, &metrics)) m_line_height = metrics.tmHeight;
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
  }
  const SIZE size = PixelSize();
  // WS_EX_CONTROLPARENT: a dialog around it tabs into the form's controls.
  m_window = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, W(m_form.Caption()).c_str(),
                             WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, position.x, position.y,
                             size.cx, size.cy, parent, nullptr, OwnModule(), this);
  if (m_window == nullptr) {
    FormClass().Drop();
    m_built = false;
    if (m_font != nullptr) DeleteObject(m_font);
    m_font = nullptr;
    return false;
  }
  m_tooltips =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                      WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, m_window, nullptr, OwnModule(), nullptr);
  if (m_tooltips != nullptr) {
    SendMessageW(m_tooltips, WM_SETFONT, reinterpret_cast<WPARAM>(m_shown_font), FALSE);
    // Long tips (a file's whole path) wrap rather than run off the screen.
    SendMessageW(m_tooltips, TTM_SETMAXTIPWIDTH, 0, 600);
  }
  int id = kFirstId;
  for (const auto& model : m_form.Children()) {
    auto child = std::make_unique<Child>();
    child->model = model.get();
    child->id = id++;
    m_children.push_back(std::move(child));
  }
  std::vector<Child*> building;
  for (auto& child : m_children) BuildChild(*child, building);
  for (auto& child : m_children) {
    child->model->on_state_changed = [this, at = child.get()](const FormControl&) { Show(*at); };
    Show(*child);
  }
  ShowWindow(m_window, SW_SHOWNA);
  return true;
}

FormWindow::~FormWindow() {
  Detach();
  if (m_tooltips != nullptr) DestroyWindow(m_tooltips);
  if (m_window != nullptr) {
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
  }
  if (m_built) FormClass().Drop();
  for (auto& child : m_children) {
    if (child->bitmap != nullptr) DeleteObject(child->bitmap);
  }
  if (m_font != nullptr) DeleteObject(m_font);
}

int FormWindow::Pixels(int twips) const {
  return MulDiv(twips, m_dpi, 1440);
}

SIZE FormWindow::PixelSize() const {
  return SIZE{Pixels(m_form.Width()), Pixels(m_form.Height())};
}

void FormWindow::Place(const RECT& rect) {
  SetWindowPos(m_window, nullptr, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

FormWindow::Child* FormWindow::Find(std::u16string_view name) const {
  for (const auto& child : m_children) {
    if (child->model->Name() == name) return child.get();
  }
  return nullptr;
}

FormWindow::Child* FormWindow::FindWindow(HWND window) const {
  for (const auto& child : m_children) {
    if (child->window == window && window != nullptr) return child.get();
  }
  return nullptr;
}

HWND FormWindow::Control(std::u16string_view name) const {
  Child* child = Find(name);
  return child != nullptr ? child->window : nullptr;
}

// A child goes inside its container's window, which is built first; a container that is missing,
// or that would contain itself, leaves the child on the form.
HWND FormWindow::BuildChild(Child& child, std::vector<Child*>& building) {
  if (child.window != nullptr) return child.window;
  HWND parent = m_window;
  if (!child.model->Container().empty()) {
    Child* container = Find(child.model->Container());
    if (container != nullptr &&
        std::find(building.begin(), building.end(), container) == building.end()) {
      building.push_back(&child);
      parent = BuildChild(*container, building);
      building.pop_back();
    }
  }
  if (child.window != nullptr) return child.window;  // built while its container was
  // Option buttons side by side in one container are a group for the arrow keys; every other
  // control starts a group of its own.
  HWND previous = GetWindow(parent, GW_CHILD);
  if (previous != nullptr) previous = GetWindow(previous, GW_HWNDLAST);
  Child* before = FindWindow(previous);
  const bool joins = child.model->Kind() == ControlKind::kOptionButton && before != nullptr &&
                     before->model->Kind() == ControlKind::kOptionButton;
  child.parent = parent;
  child.window = MakeControl(child, parent, joins ? 0 : WS_GROUP);
  return child.window;
}

HWND FormWindow::MakeControl(Child& child, HWND parent, int group) {
  const FormControl& model = *child.model;
  const wchar_t* window_class = WC_BUTTONW;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | static_cast<DWORD>(group);
  DWORD extended = 0;
  const Rect& geometry = model.Geometry();
  int height = Pixels(geometry.height);
  switch (model.Kind()) {
    case ControlKind::kButton:
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case ControlKind::kLabel:
      // Labels wrap at their width and start at the top left, and never read '&' as a mnemonic.
      // They are see-through, as Qt's are: a label whose box reaches over the control below it
      // leaves that control's edge showing.
      window_class = WC_STATICW;
      style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
      extended = WS_EX_TRANSPARENT;
      break;
    case ControlKind::kTextBox:
      window_class = WC_EDITW;
      extended = WS_EX_CLIENTEDGE;
      style |= WS_TABSTOP | ES_LEFT;
      if (model.Geometry().height >= kMultiLineTwips) {
        // Its scroll bar shows only when the text needs it (ShowScrollBars).
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
      } else {
        style |= ES_AUTOHSCROLL;
      }
      break;
    case ControlKind::kCheckBox:
      // Not an automatic box: the model decides what it shows, grey included.
      style |= BS_3STATE | WS_TABSTOP;
      break;
    case ControlKind::kOptionButton:
      // The model decides which option of a frame is chosen. Tab stops at a group once, on its
      // chosen option (TabTarget): an option the focus lands on is chosen.
      style |= BS_RADIOBUTTON;
      if (group != 0) style |= WS_TABSTOP;
      break;
    case ControlKind::kListBox:
      window_class = WC_LISTBOXW;
      extended = WS_EX_CLIENTEDGE;
      style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
      child.multi_select = model.MultiSelect();
      if (child.multi_select) style |= LBS_EXTENDEDSEL;
      break;
    case ControlKind::kComboBox:
      window_class = WC_COMBOBOXW;
      style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS;
      height += kDropDownPixels;
      break;
    case ControlKind::kProgressBar:
      window_class = PROGRESS_CLASSW;
      break;
    case ControlKind::kFrame:
      // The caption sits on the frame's top line; the children's twips leave room for it there.
      style |= BS_GROUPBOX | WS_CLIPCHILDREN;
      extended = WS_EX_CONTROLPARENT;
      break;
    case ControlKind::kImageBox:
      // Painted here (ChildProcedure): the picture stretched to fill the box, or the box empty.
      window_class = WC_STATICW;
      style |= SS_NOTIFY;
      break;
  }
  HWND window = CreateWindowExW(extended, window_class, L"", style, Pixels(geometry.left),
                                Pixels(geometry.top), Pixels(geometry.width), height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.id)),
                                OwnModule(), nullptr);
  if (window == nullptr) return nullptr;
  // The order of the siblings is the Tab order: the model's.
  SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(m_shown_font), FALSE);
  switch (model.Kind()) {
    case ControlKind::kProgressBar:
      SendMessageW(window, PBM_SETRANGE32, 0, 100);
      break;
    case ControlKind::kComboBox: {
      // The box is as high as its geometry; the list opens below it.
      const int field = Pixels(geometry.height) - 6;
      if (field > 0) SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
      break;
    }
    case ControlKind::kListBox:
      DragAcceptFiles(window, TRUE);
      SetWindowSubclass(window, ChildProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
      break;
    case ControlKind::kFrame:
    case ControlKind::kImageBox:
      SetWindowSubclass(window, ChildProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
      break;
    default:
      break;
  }
  return window;
}

LRESULT CALLBACK FormWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    switch (message) {
      case WM_COMMAND:
        if (Child* child = self->FindWindow(reinterpret_cast<HWND>(lparam))) {
          self->OnCommand(*child, HIWORD(wparam));
          return 0;
        }
        break;
      case WM_CTLCOLORSTATIC: {
        const LRESULT brush = DefWindowProcW(window, message, wparam, lparam);
        Child* child = self->FindWindow(reinterpret_cast<HWND>(lparam));
        if (child == nullptr || child->model->Kind() != ControlKind::kLabel) return brush;
        SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      case WM_NEXTDLGCTL: {
        // As a dialog does it, for IsDialogMessage and our own Tab.
        HWND next =
            LOWORD(lparam) != 0
                ? reinterpret_cast<HWND>(wparam)
                : TabTarget(GetNextDlgTabItem(window, GetFocus(), wparam != 0 ? TRUE : FALSE));
        if (next != nullptr) {
          SetFocus(next);
          if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
            SendMessageW(next, EM_SETSEL, 0, -1);
          }
        }
        return 0;
      }
      case WM_SETFOCUS:
        self->FocusFirst();
        return 0;
      case WM_NCDESTROY:
        // Its parent went first: the model is shown no more, and nothing is destroyed twice.
        self->m_window = nullptr;
        self->m_tooltips = nullptr;
        for (auto& child : self->m_children) child->window = nullptr;
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK FormWindow::ChildProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                            UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<FormWindow*>(data);
  switch (message) {
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, ChildProcedure, 1);
      break;
    // A frame holds controls: what they tell their parent is for the form.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return SendMessageW(self->m_window, message, wparam, lparam);
    case WM_ERASEBKGND: {
      Child* child = self->FindWindow(window);
      if (child == nullptr) break;
      if (child->model->Kind() == ControlKind::kImageBox) return 1;  // painted whole
      if (child->model->Kind() != ControlKind::kFrame) break;
      RECT area;
      GetClientRect(window, &area);
      FillRect(reinterpret_cast<HDC>(wparam), &area, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      Child* child = self->FindWindow(window);
      if (child == nullptr) break;
      const ControlKind kind = child->model->Kind();
      // A frame without a caption is drawn here too: Wine leaves a gap in its top line.
      if (kind != ControlKind::kImageBox &&
          !(kind == ControlKind::kFrame && child->model->Text().empty())) {
        break;
      }
      PAINTSTRUCT paint{};
      HDC dc = message == WM_PAINT ? BeginPaint(window, &paint) : reinterpret_cast<HDC>(wparam);
      if (kind == ControlKind::kImageBox) {
        self->PaintPicture(*child, dc);
      } else {
        RECT area;
        GetClientRect(window, &area);
        FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
        // The line where a caption's middle would be, as the captioned frames have it.
        area.top += self->m_line_height / 2;
        DrawEdge(dc, &area, EDGE_ETCHED, BF_RECT);
      }
      if (message == WM_PAINT) EndPaint(window, &paint);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (Child* child = self->FindWindow(window)) {
        if (!child->hovered_tracking) {
          TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
          child->hovered_tracking = TrackMouseEvent(&track) != FALSE;
        }
        const LRESULT found = SendMessageW(window, LB_ITEMFROMPOINT, 0, lparam);
        self->Hover(*child, HIWORD(found) != 0 ? -1 : static_cast<int>(LOWORD(found)));
      }
      break;
    case WM_MOUSELEAVE:
      if (Child* child = self->FindWindow(window)) {
        child->hovered_tracking = false;
        self->Hover(*child, -1);
      }
      break;
    case WM_DROPFILES: {
      auto drop = reinterpret_cast<HDROP>(wparam);
      std::vector<std::u16string> paths;
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) paths.push_back(U(path));
      }
      DragFinish(drop);
      Child* child = self->FindWindow(window);
      if (child != nullptr && !paths.empty()) {
        self->Deliver(*child, [child, paths] {
          if (child->model->on_drop) child->model->on_drop(paths);
        });
      }
      return 0;
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

void FormWindow::Hover(Child& child, int row) {
  if (row == child.hovered) return;
  child.hovered = row;
  Deliver(child, [&child, row] {
    if (child.model->on_hover_item) child.model->on_hover_item(row);
  });
}

void FormWindow::OnCommand(Child& child, int code) {
  if (m_showing > 0 || !m_attached) return;
  FormControl& model = *child.model;
  switch (model.Kind()) {
    case ControlKind::kButton:
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
      if (code == BN_CLICKED) Deliver(child, [this, &model] { m_form.Click(model); });
      break;
    case ControlKind::kTextBox:
      if (code == EN_CHANGE) {
        Deliver(child, [&model, text = U(WindowText(child.window))] {
          model.SetText(text);
          if (model.on_change) model.on_change();
        });
      }
      break;
    case ControlKind::kComboBox: {
      // A choice from the open list counts when the list closes on it; a change by the keys on
      // the closed box at once.
      const bool dropped = SendMessageW(child.window, CB_GETDROPPEDSTATE, 0, 0) != 0;
      if (!(code == CBN_SELENDOK && dropped) && !(code == CBN_SELCHANGE && !dropped)) break;
      const int index = static_cast<int>(SendMessageW(child.window, CB_GETCURSEL, 0, 0));
      Deliver(child, [&model, index] {
        if (index < 0 || index >= static_cast<int>(model.Items().size())) return;
        model.SetListIndex(index);
        model.SetText(model.Items()[static_cast<size_t>(index)]);
        if (model.on_click) model.on_click();
      });
      break;
    }
    case ControlKind::kListBox:
      if (code == LBN_SELCHANGE) OnListSelection(child);
      break;
    default:
      break;
  }
}

void FormWindow::OnListSelection(Child& child) {
  // Read what the user selected before the model changes: each change redraws the list.
  HWND list = child.window;
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  std::vector<bool> selected;
  for (int i = 0; i < count; ++i) selected.push_back(SendMessageW(list, LB_GETSEL, i, 0) > 0);
  const int current = static_cast<int>(
      SendMessageW(list, child.multi_select ? LB_GETCARETINDEX : LB_GETCURSEL, 0, 0));
  Deliver(child, [&child, selected, current] {
    FormControl& model = *child.model;
    if (selected.size() != model.Items().size()) return;
    model.SetListIndex(current < 0 ? -1 : current);
    if (model.MultiSelect()) {
      for (size_t i = 0; i < selected.size(); ++i) {
        if (model.Selected(static_cast<int>(i)) != selected[i]) {
          model.SetSelected(static_cast<int>(i), selected[i]);
        }
      }
    }
    if (model.on_click) model.on_click();
  });
}

void FormWindow::Deliver(Child& child, const std::function<void()>& action) {
  if (!m_attached) return;
  // The control outlives its own handler, even when the window closes while it runs.
  auto owner = m_owner;
  ++m_handlers;
  try {
    action();
  } catch (...) {
    if (on_error) {
      on_error(std::current_exception());
    } else {
      ReportToStandardError(std::current_exception());
    }
  }
  --m_handlers;
  if (m_attached) {
    Show(child);
  } else if (m_handlers == 0 && on_idle) {
    on_idle();
  }
}

void FormWindow::Show(Child& child) {
  if (!m_attached || child.window == nullptr) return;
  ++m_showing;
  const FormControl& model = *child.model;
  HWND window = child.window;
  if ((IsWindowEnabled(window) != FALSE) != model.Enabled()) EnableWindow(window, model.Enabled());
  const std::wstring text = W(model.Text());
  switch (model.Kind()) {
    case ControlKind::kButton:
    case ControlKind::kFrame:
      SetText(window, text);
      break;
    case ControlKind::kLabel:
      if (WindowText(window) != text) {
        SetWindowTextW(window, text.c_str());
        // A see-through label's old text goes only with what lies beneath it drawn again.
        RECT area;
        GetWindowRect(window, &area);
        MapWindowPoints(nullptr, child.parent, reinterpret_cast<POINT*>(&area), 2);
        RedrawWindow(child.parent, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      }
      break;
    case ControlKind::kTextBox:
      if (GetWindowLongW(window, GWL_STYLE) & ES_MULTILINE) {
        const std::wstring lines = ScreenLines(model.Text());
        if (WindowText(window) != lines) {
          SetWindowTextW(window, lines.c_str());
          ShowScrollBars(child);
          // A log shows its newest lines.
          SendMessageW(window, WM_VSCROLL, SB_BOTTOM, 0);
        } else {
          ShowScrollBars(child);  // the user's own typing
        }
      } else {
        SetText(window, text);
      }
      break;
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
      SetText(window, text);
      if (SendMessageW(window, BM_GETCHECK, 0, 0) != CheckOf(model.Checked())) {
        SendMessageW(window, BM_SETCHECK, CheckOf(model.Checked()), 0);
      }
      break;
    case ControlKind::kListBox:
    case ControlKind::kComboBox:
      ShowItems(child);
      window = child.window;  // a list may have been made again
      break;
    case ControlKind::kProgressBar:
      SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(std::lround(model.Value())), 0);
      break;
    case ControlKind::kImageBox:
      ShowPicture(child);
      break;
  }
  ShowWindow(window, model.Visible() ? SW_SHOWNA : SW_HIDE);
  ShowToolTip(child);
  --m_showing;
}

void FormWindow::ShowToolTip(Child& child) {
  if (m_tooltips == nullptr || child.tooltip == child.model->ToolTip()) return;
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = child.parent;
  tool.uId = reinterpret_cast<UINT_PTR>(child.window);
  std::wstring text = W(child.model->ToolTip());
  tool.lpszText = text.data();
  if (child.tooltip.empty()) {
    SendMessageW(m_tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  } else if (text.empty()) {
    SendMessageW(m_tooltips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  } else {
    // A tip on screen follows the item the mouse is over now.
    SendMessageW(m_tooltips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  child.tooltip = child.model->ToolTip();
}

void FormWindow::ShowItems(Child& child) {
  const FormControl& model = *child.model;
  const int count = static_cast<int>(model.Items().size());
  const bool list = model.Kind() == ControlKind::kListBox;
  if (list && model.MultiSelect() != child.multi_select) {
    // A list box takes its way of selecting when it is made: it is made again.
    HWND old = child.window;
    const DWORD group = static_cast<DWORD>(GetWindowLongW(old, GWL_STYLE)) & WS_GROUP;
    child.window = MakeControl(child, child.parent, static_cast<int>(group));
    if (child.window == nullptr) {
      child.window = old;
    } else {
      SetWindowPos(child.window, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      DestroyWindow(old);
      child.tooltip.clear();
      child.hovered = -1;
      child.hovered_tracking = false;
      EnableWindow(child.window, model.Enabled());
    }
  }
  HWND window = child.window;
  const UINT get_count = list ? LB_GETCOUNT : CB_GETCOUNT;
  const UINT get_length = list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
  const UINT get_text = list ? LB_GETTEXT : CB_GETLBTEXT;
  bool same = SendMessageW(window, get_count, 0, 0) == count;
  for (int i = 0; same && i < count; ++i) {
    std::wstring shown(static_cast<size_t>(SendMessageW(window, get_length, i, 0)) + 1, L'\0');
    shown.resize(static_cast<size_t>(
        SendMessageW(window, get_text, i, reinterpret_cast<LPARAM>(shown.data()))));
    same = U(shown) == model.Items()[static_cast<size_t>(i)];
  }
  if (!same) {
    SendMessageW(window, WM_SETREDRAW, FALSE, 0);
    SendMessageW(window, list ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
    for (const auto& item : model.Items()) {
      SendMessageW(window, list ? LB_ADDSTRING : CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(W(item).c_str()));
    }
    SendMessageW(window, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(window, nullptr, TRUE);
  }
  if (list) {
    if (child.multi_select) {
      for (int i = 0; i < count; ++i) {
        const bool shown = SendMessageW(window, LB_GETSEL, i, 0) > 0;
        if (shown != model.Selected(i)) SendMessageW(window, LB_SETSEL, model.Selected(i), i);
      }
      if (model.ListIndex() >= 0 && model.ListIndex() < count) {
        SendMessageW(window, LB_SETCARETINDEX, model.ListIndex(), FALSE);
      }
    } else {
      int selected = -1;
      for (int i = 0; i < count; ++i) {
        if (model.Selected(i)) selected = i;
      }
      if (SendMessageW(window, LB_GETCURSEL, 0, 0) != selected) {
        SendMessageW(window, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
      }
    }
    return;
  }
  // With no entry chosen, the box shows the control's text.
  SendMessageW(window, CB_SETCUEBANNER, 0, reinterpret_cast<LPARAM>(W(model.Text()).c_str()));
  const int index = model.ListIndex() < count ? model.ListIndex() : -1;
  if (SendMessageW(window, CB_GETCURSEL, 0, 0) != index) {
    SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
}

void FormWindow::ShowPicture(Child& child) {
  const std::u16string& path = child.model->Picture();
  if (path == child.picture) return;
  child.picture = path;
  HBITMAP bitmap = nullptr;
  if (!path.empty()) {
    try {
      // Decoded as the controls measure pictures, so the preview shows what they will upload.
      const Picture picture = LoadPicture(path);
      const Rect& geometry = child.model->Geometry();
      bitmap = PictureBitmap(picture, Pixels(geometry.width), Pixels(geometry.height));
    } catch (const std::exception&) {
      bitmap = nullptr;  // a picture that cannot be read shows an empty box
    }
  }
  if (child.bitmap != nullptr) DeleteObject(child.bitmap);
  child.bitmap = bitmap;
  InvalidateRect(child.window, nullptr, TRUE);
}

void FormWindow::PaintPicture(const Child& child, HDC dc) {
  RECT area;
  GetClientRect(child.window, &area);
  FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  if (child.bitmap == nullptr) return;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, child.bitmap);
  BITMAP size{};
  GetObjectW(child.bitmap, sizeof size, &size);
  BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

void FormWindow::ShowScrollBars(const Child& child) {
  RECT area;
  GetClientRect(child.window, &area);
  const LRESULT lines = SendMessageW(child.window, EM_GETLINECOUNT, 0, 0);
  const bool shown = (GetWindowLongW(child.window, GWL_STYLE) & WS_VSCROLL) != 0;
  // The client area narrows while the bar shows: it goes only once the text fits without it.
  const int visible = m_line_height > 0 ? (area.bottom - area.top) / m_line_height : 1;
  const bool needed = lines > visible;
  if (needed != shown) ShowScrollBar(child.window, SB_VERT, needed);
}

void FormWindow::Detach() {
  if (!m_attached) return;
  m_attached = false;
  for (auto& child : m_children) child->model->on_state_changed = nullptr;
  // Last: letting go of the owner may end the control and its form.
  auto owner = std::move(m_owner);
}

HWND FormWindow::TabTarget(HWND control) {
  if (control == nullptr || !(SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)) {
    return control;
  }
  // The chosen option of the group, if one is.
  HWND option = control;
  do {
    if (SendMessageW(option, BM_GETCHECK, 0, 0) == BST_CHECKED) return option;
    option = GetNextDlgGroupItem(GetParent(control), option, FALSE);
  } while (option != nullptr && option != control);
  return control;
}

void FormWindow::FocusFirst() {
  HWND first = TabTarget(GetNextDlgTabItem(m_window, nullptr, FALSE));
  if (first != nullptr && IsChild(m_window, first)) SetFocus(first);
}

bool FormWindow::TranslateAccelerator(MSG* message) {
  if (message == nullptr || m_window == nullptr) return false;
  HWND focus = GetFocus();
  if (focus == nullptr || !IsChild(m_window, focus) || message->hwnd != focus) return false;
  if (message->message != WM_KEYDOWN && message->message != WM_CHAR) return false;
  const auto key = static_cast<UINT>(message->wParam);
  const LRESULT wants =
      SendMessageW(focus, WM_GETDLGCODE, message->wParam, reinterpret_cast<LPARAM>(message));
  if (wants & DLGC_WANTMESSAGE) return false;
  if (message->message == WM_CHAR) {
    // The Tab and Enter that the keys below already acted on.
    return (key == L'\t' && !(wants & DLGC_WANTTAB)) ||
           (key == L'\r' && (wants & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)));
  }
  switch (key) {
    case VK_TAB: {
      if (wants & DLGC_WANTTAB) return false;
      const bool back = GetKeyState(VK_SHIFT) < 0;
      SendMessageW(m_window, WM_NEXTDLGCTL, back ? 1 : 0, 0);
      return true;
    }
    case VK_RETURN:
      if (wants & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
        SendMessageW(focus, BM_CLICK, 0, 0);
        return true;
      }
      return false;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: {
      if ((wants & DLGC_WANTARROWS) || !(wants & DLGC_RADIOBUTTON)) return false;
      // Within a group of option buttons, as a dialog moves; focus on an option chooses it.
      HWND next = GetNextDlgGroupItem(GetParent(focus), focus,
                                      key == VK_LEFT || key == VK_UP ? TRUE : FALSE);
      if (next != nullptr && next != focus) SetFocus(next);
      return true;
    }
    default:
      return false;
  }
}

void FormWindow::DrawChildren(HWND parent, HDC dc, POINT origin) {
  // From the bottom of the order up, as they lie on screen.
  HWND first = GetWindow(parent, GW_CHILD);
  for (HWND child = first != nullptr ? GetWindow(first, GW_HWNDLAST) : nullptr; child != nullptr;
       child = GetWindow(child, GW_HWNDPREV)) {
    if (!IsWindowVisible(child)) continue;
    RECT area;
    GetWindowRect(child, &area);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
    const POINT at{origin.x + area.left, origin.y + area.top};
    const int saved = SaveDC(dc);
    SetViewportOrgEx(dc, at.x, at.y, nullptr);
    IntersectClipRect(dc, 0, 0, area.right - area.left, area.bottom - area.top);
    SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(dc),
                 PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
    RestoreDC(dc, saved);
    // A frame's controls; the client area of the others has no windows of ours.
    if (FindWindow(child) != nullptr && GetWindow(child, GW_CHILD) != nullptr) {
      POINT client{0, 0};
      MapWindowPoints(child, parent, &client, 1);
      DrawChildren(child, dc, POINT{origin.x + client.x, origin.y + client.y});
    }
  }
}

void FormWindow::Draw(HDC dc, const RECT& bounds) {
  const SIZE size = PixelSize();
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
  HGDIOBJ old = SelectObject(memory, bitmap);
  if (IsWindowVisible(m_window)) {
    // On screen the controls draw themselves exactly: their pixels are copied, children included.
    RedrawWindow(m_window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC own = GetDCEx(m_window, nullptr, DCX_CACHE);
    BitBlt(memory, 0, 0, size.cx, size.cy, own, 0, 0, SRCCOPY);
    ReleaseDC(m_window, own);
  } else {
    // Hidden, each control prints itself as far as it can.
    RECT whole{0, 0, size.cx, size.cy};
    FillRect(memory, &whole, GetSysColorBrush(COLOR_BTNFACE));
    DrawChildren(m_window, memory, POINT{0, 0});
  }
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
             memory, 0, 0, size.cx, size.cy, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

}  // namespace velmaris
