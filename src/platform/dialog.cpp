#include "platform/dialog.h"

#include <algorithm>

namespace platform {
namespace {

ScriptedDialogHost g_cancellingHost;
DialogHost* g_host = &g_cancellingHost;

bool isList(ControlKind k) { return k == ControlKind::ListBox || k == ControlKind::ComboBox; }

} // namespace

const DialogControl* DialogTemplate::control(int id) const {
  for (const DialogControl& c : controls)
    if (c.id == id)
      return &c;
  return nullptr;
}

DialogHost& dialogHost() { return *g_host; }

void setDialogHost(DialogHost* host) { g_host = host ? host : &g_cancellingHost; }

ScopedDialogHost::ScopedDialogHost(DialogHost& host) : m_previous(&dialogHost()) {
  setDialogHost(&host);
}

ScopedDialogHost::~ScopedDialogHost() { setDialogHost(m_previous); }

// ---- ControlState ----

ControlState::ControlState(const DialogTemplate& dialog) {
  for (const DialogControl& c : dialog.controls) {
    if (c.id <= 0 || m_controls.count(c.id))
      continue;
    Control& s = m_controls[c.id];
    s.kind = c.kind;
    if (!isList(c.kind))
      s.text = c.text;
    s.enabled = (c.style & kStyleDisabled) == 0;
    s.limit = c.limit;
    s.groupStart = (c.style & kStyleGroupStart) != 0;
    s.threeState = (c.style & kStyleThreeState) != 0;
    s.width = c.w;
    s.height = c.h;
    s.editable = c.kind == ControlKind::ComboBox && (c.style & kStyleEditable);
    if (c.kind == ControlKind::ScrollBar) {
      s.scrollLow = c.low;
      s.scrollHigh = std::max(c.low, c.high);
      s.scrollPosition = c.low;
    }
    m_order.push_back(c.id);
  }
}

ControlState::Control* ControlState::get(int id) {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : &it->second;
}

const ControlState::Control* ControlState::find(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : &it->second;
}

std::u16string ControlState::text(int id) const {
  const Control* c = find(id);
  if (!c)
    return {};
  if (isList(c->kind) && !c->editable)
    return itemText(id, c->selection);
  return c->text;
}

void ControlState::setText(int id, std::u16string_view text) {
  if (Control* c = get(id)) {
    c->text = std::u16string(c->limit > 0 ? text.substr(0, static_cast<size_t>(c->limit)) : text);
    c->selectionStart = c->selectionEnd = static_cast<int>(c->text.size());
  }
}

bool ControlState::checked(int id) const {
  const Control* c = find(id);
  return c && c->checkState == kChecked;
}

int ControlState::checkState(int id) const {
  const Control* c = find(id);
  return c ? c->checkState : kUnchecked;
}

void ControlState::setCheckState(int id, int state) {
  Control* c = get(id);
  if (!c)
    return;
  if (state == kIndeterminate) {
    c->threeState = true;
    c->checkState = kIndeterminate;
    return;
  }
  setChecked(id, state == kChecked);
}

int ControlState::pickerValue(int id) const {
  const Control* c = find(id);
  return c ? c->pickerValue : 0;
}

void ControlState::setPickerValue(int id, int value) {
  if (Control* c = get(id))
    c->pickerValue = value;
}

void ControlState::setPickerOption(int id, int option) {
  if (Control* c = get(id))
    c->pickerOption = option;
}

void ControlState::setPreviewFont(int id, const FontSpec& font) {
  if (Control* c = get(id))
    c->previewFont = font;
}

void ControlState::setChecked(int id, bool on) {
  Control* c = get(id);
  if (!c)
    return;
  if (on && c->kind == ControlKind::Radio)
    for (int other : radioGroup(id))
      m_controls[other].checkState = kUnchecked;
  c->checkState = on ? kChecked : kUnchecked;
}

void ControlState::setItems(int id, const std::vector<std::u16string>& items) {
  if (Control* c = get(id)) {
    c->items = items;
    c->itemColours.clear();
    c->selection = -1;
  }
}

void ControlState::setItemColour(int id, int index, std::uint32_t colour) {
  Control* c = get(id);
  if (c && index >= 0 && index < static_cast<int>(c->items.size()))
    c->itemColours[index] = colour;
}

int ControlState::itemCount(int id) const {
  const Control* c = find(id);
  return c ? static_cast<int>(c->items.size()) : 0;
}

std::u16string ControlState::itemText(int id, int index) const {
  const Control* c = find(id);
  if (!c || index < 0 || index >= static_cast<int>(c->items.size()))
    return {};
  return c->items[static_cast<size_t>(index)];
}

int ControlState::selection(int id) const {
  const Control* c = find(id);
  return c ? c->selection : -1;
}

void ControlState::setSelection(int id, int index) {
  if (Control* c = get(id)) {
    c->selection = index >= 0 && index < static_cast<int>(c->items.size()) ? index : -1;
    // Choosing an item of an editable combo puts its text in the box.
    if (c->editable && c->selection >= 0)
      c->text = c->items[static_cast<size_t>(c->selection)];
  }
}

bool ControlState::enabled(int id) const {
  const Control* c = find(id);
  return c && c->enabled;
}

void ControlState::setEnabled(int id, bool on) {
  if (Control* c = get(id))
    c->enabled = on;
}

void ControlState::selectText(int id, int start, int end) {
  if (Control* c = get(id)) {
    const int size = static_cast<int>(c->text.size());
    c->selectionStart = std::clamp(start, 0, size);
    c->selectionEnd = std::clamp(end, c->selectionStart, size);
  }
}

std::vector<int> ControlState::radioGroup(int id) const {
  // A group is a run of radio buttons in template order, cut where a radio
  // is marked as a group start.
  std::vector<int> group;
  const auto at = std::find(m_order.begin(), m_order.end(), id);
  if (at == m_order.end() || find(id)->kind != ControlKind::Radio)
    return group;
  auto first = at;
  while (!find(*first)->groupStart && first != m_order.begin() &&
         find(*(first - 1))->kind == ControlKind::Radio)
    --first;
  group.push_back(*first);
  for (auto it = first + 1;
       it != m_order.end() && find(*it)->kind == ControlKind::Radio && !find(*it)->groupStart; ++it)
    group.push_back(*it);
  return group;
}

// ---- DialogAction ----

DialogAction DialogAction::setText(int id, std::u16string_view text, int page) {
  return {Kind::SetText, id, std::u16string(text), 0, page};
}
DialogAction DialogAction::check(int id, bool on, int page) {
  return {Kind::Check, id, {}, on ? 1 : 0, page};
}
DialogAction DialogAction::checkState(int id, int state, int page) {
  return {Kind::Check, id, {}, state, page};
}
DialogAction DialogAction::choose(int id, int value, int page) {
  return {Kind::Choose, id, {}, value, page};
}
DialogAction DialogAction::clickAt(int id, Point at, int page) {
  return {Kind::ClickAt, id, {}, 0, page, at};
}
DialogAction DialogAction::select(int id, int index, int page) {
  return {Kind::Select, id, {}, index, page};
}
DialogAction DialogAction::doubleClick(int id, int index, int page) {
  return {Kind::DoubleClick, id, {}, index, page};
}
DialogAction DialogAction::press(int id, int page) { return {Kind::Press, id, {}, 0, page}; }
DialogAction DialogAction::scroll(int id, int position, int page) { return {Kind::Scroll, id, {}, position, page}; }

int ControlState::scrollPosition(int id) const {
  const Control* c = find(id);
  return c ? c->scrollPosition : 0;
}

void ControlState::setScroll(int id, int position, int low, int high, int page) {
  if (Control* c = get(id)) {
    c->scrollLow = low;
    c->scrollHigh = std::max(low, high);
    c->scrollPage = std::max(1, page);
    c->scrollPosition = std::clamp(position, c->scrollLow, c->scrollHigh);
  }
}

// ---- ScriptedDialogHost ----

int ScriptedDialogHost::run(const DialogTemplate& dialog, DialogProcedure& procedure) {
  PropertySheetTemplate single{dialog.title, {dialog}};
  DialogProcedure* pages[] = {&procedure};
  return runSheet(single, pages);
}

int ScriptedDialogHost::runSheet(const PropertySheetTemplate& sheet,
                                 std::span<DialogProcedure* const> pages) {
  Run run;
  run.title = sheet.title;
  std::vector<ControlState> states;
  const size_t pageCount = std::min(sheet.pages.size(), pages.size());
  // Pages may keep each other's controls for the life of the run.
  states.reserve(pageCount);
  for (size_t p = 0; p < pageCount; ++p) {
    states.emplace_back(sheet.pages[p]);
    pages[p]->onInit(states.back());
  }
  run.afterInit = states;
  run.shownPage = sheet.startPage;

  std::vector<DialogAction> script;
  if (!m_scripts.empty()) {
    script = std::move(m_scripts.front());
    m_scripts.pop_front();
  }

  // OK asks every page; the first refusal keeps the dialog open.
  auto pressOk = [&] {
    for (size_t p = 0; p < pageCount; ++p)
      if (!pages[p]->onOk(states[p])) {
        ++run.refusedOks;
        return false;
      }
    return true;
  };

  int result = 0;
  for (const DialogAction& a : script) {
    if (result != 0)
      break;
    if (a.kind == DialogAction::Kind::Press && (a.id == kIdOk || a.id == kIdCancel)) {
      if (a.id == kIdCancel)
        result = kIdCancel;
      else if (pressOk())
        result = kIdOk;
      continue;
    }
    const size_t p = static_cast<size_t>(a.page);
    if (a.page < 0 || p >= pageCount || !states[p].has(a.id) || !states[p].enabled(a.id)) {
      ++run.badActions;
      continue;
    }
    ControlState& s = states[p];
    // Going to another page asks the shown one first; a refusal keeps it.
    if (a.page != run.shownPage && run.shownPage >= 0 && static_cast<size_t>(run.shownPage) < pageCount &&
        !pages[static_cast<size_t>(run.shownPage)]->onLeavePage(states[static_cast<size_t>(run.shownPage)])) {
      ++run.refusedLeaves;
      continue;
    }
    run.shownPage = a.page;
    Notification what = Notification::Clicked;
    if (a.kind == DialogAction::Kind::ClickAt) {
      const ControlState::Control* c = s.find(a.id);
      const int closeWith = pages[p]->onClickAt(s, a.id, a.at, {0, 0, c->width, c->height});
      if (closeWith == kIdOk)
        result = pressOk() ? kIdOk : 0;
      else if (closeWith != 0)
        result = closeWith;
      continue;
    }
    switch (a.kind) {
    case DialogAction::Kind::SetText:
      s.setText(a.id, a.text);
      what = Notification::Changed;
      break;
    case DialogAction::Kind::Check:
      if (a.value == kIndeterminate)
        s.setCheckState(a.id, s.find(a.id)->threeState ? kIndeterminate : kUnchecked);
      else
        s.setChecked(a.id, a.value != 0);
      break;
    case DialogAction::Kind::Choose:
      s.setPickerValue(a.id, a.value);
      what = Notification::SelectionChanged;
      break;
    case DialogAction::Kind::ClickAt: break;
    case DialogAction::Kind::Select:
      s.setSelection(a.id, a.value);
      what = Notification::SelectionChanged;
      break;
    case DialogAction::Kind::DoubleClick:
      s.setSelection(a.id, a.value);
      what = Notification::DoubleClicked;
      break;
    case DialogAction::Kind::Press: break;
    case DialogAction::Kind::Scroll:
      s.setScroll(a.id, a.value, s.find(a.id)->scrollLow, s.find(a.id)->scrollHigh, s.find(a.id)->scrollPage);
      what = Notification::Scrolled;
      break;
    }
    const int closeWith = pages[p]->onCommand(s, a.id, what);
    if (closeWith == kIdOk)
      result = pressOk() ? kIdOk : 0;
    else if (closeWith != 0)
      result = closeWith;
  }
  run.result = result != 0 ? result : kIdCancel;
  if (sheet.shownPage)
    *sheet.shownPage = run.shownPage;
  run.final = std::move(states);
  m_runs.push_back(std::move(run));
  return m_runs.back().result;
}

} // namespace platform
