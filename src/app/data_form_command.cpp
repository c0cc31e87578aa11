// The Data menu's form ("记录单"): the dialog titled with the sheet name,
// nine label and field pairs over the list's fields, and its buttons.

#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/navigation.h"
#include "datatools/data_form.h"
#include "platform/dialog.h"
#include "platform/ui_services.h"

namespace app {
namespace {

using platform::ControlKind;
using platform::DialogControls;
using platform::Notification;

constexpr int kFormCounter = 20;
constexpr int kFormNew = 30;
constexpr int kFormDelete = 31;
constexpr int kFormRestore = 32;
constexpr int kFormPrevious = 33;
constexpr int kFormNext = 34;
constexpr int kFormCriteria = 35;
constexpr int kFormClose = 36;
constexpr int kFormFieldsLeft = 37;
constexpr int kFormFieldsRight = 38;
constexpr int kFormScroll = 39;
constexpr int kFormPageRecords = 10; // a page click on the scroll bar
constexpr int kFormLabelFirst = 100;
constexpr int kFormFieldFirst = 120;

class DataFormProcedure final : public platform::DialogProcedure {
public:
  DataFormProcedure(model::Workbook& book, datatools::DataForm& form) : m_book(book), m_form(form) {}

  void onInit(DialogControls& c) override { show(c); }

  int onCommand(DialogControls& c, int id, Notification what) override {
    if (id >= kFormFieldFirst && id < kFormFieldFirst + datatools::kFormFieldsShown) {
      if (what == Notification::Changed) {
        read(c);
        c.setEnabled(kFormRestore, datatools::recordEdited(m_form));
      }
      return 0;
    }
    read(c);
    if (id == kFormScroll) {
      if (what != Notification::Scrolled)
        return 0;
      datatools::goToPosition(m_book, m_form, c.scrollPosition(kFormScroll));
      show(c);
      return 0;
    }
    switch (id) {
    case kFormNew:
      (void)datatools::commitRecord(m_book, m_form);
      if (datatools::newRecordAllowed(m_book, m_form) || m_form.current > m_form.block.lastRow) {
        m_form.current = m_form.block.lastRow + 1;
        datatools::showRecord(m_book, m_form);
      }
      break;
    case kFormDelete:
      if (m_form.criteriaMode) {
        for (datatools::FormField& f : m_form.fields)
          f.criterion.clear(), f.text.clear(), f.original.clear();
      } else {
        (void)datatools::deleteRecord(m_book, m_form);
      }
      break;
    case kFormRestore:
      datatools::showRecord(m_book, m_form);
      break;
    case kFormPrevious:
    case kFormNext:
      (void)datatools::stepRecord(m_book, m_form, id == kFormNext);
      break;
    case kFormCriteria:
      (void)datatools::commitRecord(m_book, m_form);
      m_form.criteriaMode = !m_form.criteriaMode;
      if (!m_form.criteriaMode && m_form.current > m_form.block.lastRow && !datatools::newRecordAllowed(m_book, m_form))
        m_form.current = m_form.block.firstRow + 1;
      datatools::showRecord(m_book, m_form);
      break;
    case kFormClose:
      if (!m_form.criteriaMode)
        (void)datatools::commitRecord(m_book, m_form);
      return kFormClose;
    case kFormFieldsLeft:
    case kFormFieldsRight: {
      const int most = std::max(0, static_cast<int>(m_form.fields.size()) - datatools::kFormFieldsShown);
      m_form.fieldOffset = std::clamp(m_form.fieldOffset + (id == kFormFieldsRight ? 1 : -1), 0, most);
      break;
    }
    default:
      return 0;
    }
    show(c);
    return 0;
  }

  // Enter: the default button ("下一条") takes it; OK never closes the form.
  bool onOk(DialogControls& c) override {
    (void)onCommand(c, kFormNext, Notification::Clicked);
    return false;
  }

private:
  void read(DialogControls& c) {
    for (int i = 0; i < datatools::kFormFieldsShown; ++i) {
      const size_t at = static_cast<size_t>(m_form.fieldOffset + i);
      if (at >= m_form.fields.size() || m_form.fields[at].readOnly)
        continue;
      m_form.fields[at].text = c.text(kFormFieldFirst + i);
    }
  }
  void show(DialogControls& c) {
    const bool protectedSheet = (m_book.sheet(m_form.sheet).flags & model::kSheetProtected) != 0;
    const bool atNew = m_form.current > m_form.block.lastRow;
    for (int i = 0; i < datatools::kFormFieldsShown; ++i) {
      const size_t at = static_cast<size_t>(m_form.fieldOffset + i);
      const bool used = at < m_form.fields.size();
      c.setText(kFormLabelFirst + i, used ? m_form.fields[at].header + u"：" : std::u16string());
      c.setText(kFormFieldFirst + i, used ? m_form.fields[at].text : std::u16string());
      c.setEnabled(kFormFieldFirst + i, used && !m_form.fields[at].readOnly);
    }
    c.setText(kFormCounter, datatools::counterText(m_form));
    c.setText(kFormCriteria, m_form.criteriaMode ? u"表单" : u"条件");
    c.setText(kFormDelete, m_form.criteriaMode ? u"清除格式" : u"删除");
    c.setEnabled(kFormNew, !m_form.criteriaMode && (atNew || datatools::newRecordAllowed(m_book, m_form)));
    c.setEnabled(kFormDelete, m_form.criteriaMode || (!atNew && !protectedSheet));
    c.setEnabled(kFormRestore, false);
    const int positions = datatools::recordPositions(m_book, m_form);
    c.setScroll(kFormScroll, m_form.current - m_form.block.firstRow - 1, 0, std::max(0, positions - 1), kFormPageRecords);
    c.setEnabled(kFormScroll, !m_form.criteriaMode && positions > 1);
    const bool scrolls = m_form.fields.size() > static_cast<size_t>(datatools::kFormFieldsShown);
    c.setEnabled(kFormFieldsLeft, scrolls && m_form.fieldOffset > 0);
    c.setEnabled(kFormFieldsRight,
                 scrolls && m_form.fieldOffset + datatools::kFormFieldsShown < static_cast<int>(m_form.fields.size()));
    for (int i = 0; i < datatools::kFormFieldsShown; ++i)
      if (c.enabled(kFormFieldFirst + i)) {
        c.selectText(kFormFieldFirst + i, 0, static_cast<int>(c.text(kFormFieldFirst + i).size()));
        break;
      }
  }

  model::Workbook& m_book;
  datatools::DataForm& m_form;
};

platform::DialogTemplate formTemplate(std::u16string_view title) {
  platform::DialogTemplate t;
  t.title = std::u16string(title);
  t.width = 262;
  t.height = 200;
  for (int i = 0; i < datatools::kFormFieldsShown; ++i) {
    t.controls.push_back({kFormLabelFirst + i, ControlKind::Static, u"", 7, 9 + 20 * i, 60, 10});
    t.controls.push_back({kFormFieldFirst + i, ControlKind::Edit, u"", 70, 7 + 20 * i, 110, 13});
  }
  t.controls.push_back({kFormScroll, ControlKind::ScrollBar, u"", 183, 7, 9, 176});
  t.controls.push_back({kFormCounter, ControlKind::Static, u"", 194, 7, 62, 10, platform::kStyleCentre});
  const std::pair<int, std::u16string_view> buttons[] = {
      {kFormNew, u"新建"},        {kFormDelete, u"删除"}, {kFormRestore, u"还原"}, {kFormPrevious, u"上一条"},
      {kFormNext, u"下一条"},     {kFormCriteria, u"条件"}, {kFormClose, u"关闭"},
  };
  int y = 22;
  for (const auto& [id, text] : buttons) {
    // Enter takes the next record, Shift+Enter the previous one.
    t.controls.push_back({id, ControlKind::Button, std::u16string(text), 198, y, 56, 14,
                          id == kFormNext       ? platform::kStyleDefault
                          : id == kFormPrevious ? platform::kStyleShiftDefault
                                                : 0u});
    y += id == kFormRestore || id == kFormCriteria ? 24 : 18;
  }
  t.controls.push_back({kFormFieldsLeft, ControlKind::Button, u"<", 70, 186, 20, 12});
  t.controls.push_back({kFormFieldsRight, ControlKind::Button, u">", 160, 186, 20, 12});
  return t;
}

void onDataForm(App& app, int) { (void)show_data_form(app); }

// clang-format off
const CommandEntry kRows[] = {
    {223, 223, onDataForm},
};
// clang-format on

} // namespace

bool show_data_form(App& app) {
  model::Sheet* s = app.gridSheet();
  model::Workbook* book = app.book();
  if (!s || !book || s->selectedObject >= 0)
    return false;
  datatools::DataForm form;
  if (!datatools::openDataForm(*book, book->activeSheet, selection(*s), s->activeRow, s->activeColumn, form))
    return false;
  DataFormProcedure procedure(*book, form);
  (void)platform::dialogHost().run(formTemplate(s->name), procedure);
  app.redrawAll();
  refresh_formula_bar(app);
  return true;
}

const std::span<const CommandEntry> kDataFormCommands(kRows);

} // namespace app
