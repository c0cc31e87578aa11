#include "dialogs/insert_function_dialog.h"

#include "platform/dialog.h"

#include <algorithm>

namespace dialogs {
namespace {

using formula::FunctionCategory;
using formula::FunctionEntry;
using platform::ControlKind;
using platform::DialogControls;
using platform::Notification;

// clang-format off
constexpr FunctionCategoryName kCategoryNames[] = {
    { 0, u"全部"},
    { 1, u"财务"},
    { 2, u"日期与时间"},
    { 3, u"数学与三角函数"},
    { 4, u"统计"},
    { 5, u"查找与引用"},
    { 6, u"数据库"},
    { 7, u"文本"},
    { 8, u"逻辑"},
    { 9, u"信息"},
    {10, u"工程"},
    {11, u"Macro control"},
    {12, u"Macro command"},
};
// clang-format on
constexpr int kWorksheetCategories = 11;

bool listedUnder(const FunctionEntry& e, int category, bool macroSheet) {
  const int own = static_cast<int>(formula::category(e));
  if (own == static_cast<int>(FunctionCategory::Hidden))
    return false;
  if (category == 0)
    return macroSheet || own < static_cast<int>(FunctionCategory::MacroControl);
  if (category == static_cast<int>(FunctionCategory::MacroControl) && e.name == u"IF")
    return true;
  return own == category;
}

class InsertFunctionProcedure final : public platform::DialogProcedure {
public:
  explicit InsertFunctionProcedure(bool macroSheet)
      : m_macroSheet(macroSheet), m_categories(functionCategories(macroSheet)) {}

  void onInit(DialogControls& c) override {
    std::vector<std::u16string> names;
    for (const auto& cat : m_categories)
      names.emplace_back(cat.name);
    c.setItems(kCategoryList, names);
    c.setSelection(kCategoryList, 0);
    fillFunctions(c);
  }

  int onCommand(DialogControls& c, int id, Notification what) override {
    if (id == kCategoryList && what == Notification::SelectionChanged)
      fillFunctions(c);
    else if (id == kFunctionList && what == Notification::SelectionChanged)
      showSignature(c);
    else if (id == kFunctionList && what == Notification::DoubleClicked)
      return platform::kIdOk;
    return 0;
  }

  bool onOk(DialogControls& c) override {
    const int i = c.selection(kFunctionList);
    m_chosen = i >= 0 && i < static_cast<int>(m_functions.size())
                   ? m_functions[static_cast<size_t>(i)]
                   : nullptr;
    return true;
  }

  const FunctionEntry* chosen() const { return m_chosen; }

private:
  void fillFunctions(DialogControls& c) {
    const int cat = c.selection(kCategoryList);
    m_functions.clear();
    if (cat >= 0 && cat < static_cast<int>(m_categories.size()))
      m_functions = functionsInCategory(m_categories[static_cast<size_t>(cat)].code, m_macroSheet);
    std::vector<std::u16string> names;
    names.reserve(m_functions.size());
    for (const FunctionEntry* e : m_functions)
      names.emplace_back(e->name);
    c.setItems(kFunctionList, names);
    c.setSelection(kFunctionList, names.empty() ? -1 : 0);
    showSignature(c);
  }

  void showSignature(DialogControls& c) {
    const int i = c.selection(kFunctionList);
    if (i < 0 || i >= static_cast<int>(m_functions.size())) {
      c.setText(kSignatureText, u"");
      return;
    }
    const FunctionEntry& e = *m_functions[static_cast<size_t>(i)];
    std::u16string text(e.name);
    text += u'(';
    text += e.argTemplate;
    text += u')';
    c.setText(kSignatureText, text);
  }

  bool m_macroSheet;
  std::vector<FunctionCategoryName> m_categories;
  std::vector<const FunctionEntry*> m_functions;
  const FunctionEntry* m_chosen = nullptr;
};

} // namespace

std::vector<FunctionCategoryName> functionCategories(bool macroSheet) {
  const size_t n = macroSheet ? std::size(kCategoryNames) : kWorksheetCategories;
  return {std::begin(kCategoryNames), std::begin(kCategoryNames) + n};
}

std::vector<const FunctionEntry*> functionsInCategory(int category, bool macroSheet) {
  std::vector<const FunctionEntry*> out;
  for (const FunctionEntry& e : formula::builtinFunctions())
    if (listedUnder(e, category, macroSheet))
      out.push_back(&e);
  // Each array is sorted by name, so merging each after the ones before
  // puts the lists together.
  for (auto entries : {formula::addInFunctions(), formula::laterFunctions()}) {
    const size_t before = out.size();
    for (const FunctionEntry& e : entries)
      if (listedUnder(e, category, macroSheet))
        out.push_back(&e);
    std::inplace_merge(
        out.begin(), out.begin() + static_cast<std::ptrdiff_t>(before), out.end(),
        [](const FunctionEntry* a, const FunctionEntry* b) { return a->name < b->name; });
  }
  return out;
}

FunctionCall functionCallText(const FunctionEntry& entry, bool withEquals,
                              std::u16string_view listSeparator) {
  FunctionCall call;
  if (withEquals)
    call.text = u"=";
  call.text += entry.name;
  call.text += u'(';
  const int argsStart = static_cast<int>(call.text.size());
  for (char16_t ch : entry.argTemplate) {
    if (ch == u' ' || ch == u'.')
      continue;
    if (ch == u',')
      call.text += listSeparator;
    else
      call.text += ch;
  }
  const int argsEnd = static_cast<int>(call.text.size());
  call.text += u')';
  if (argsEnd == argsStart) {
    call.selectionStart = call.selectionEnd = static_cast<int>(call.text.size());
    return call;
  }
  // The first argument runs to the first separator; an optional one is
  // selected without its brackets.
  const std::u16string_view args(call.text.data() + argsStart,
                                 static_cast<size_t>(argsEnd - argsStart));
  size_t end = listSeparator.empty() ? args.npos : args.find(listSeparator);
  if (end == args.npos)
    end = args.size();
  size_t start = 0;
  if (args[0] == u'[') {
    start = 1;
    const size_t close = args.find(u']');
    if (close != args.npos && close < end)
      end = close;
  }
  call.selectionStart = argsStart + static_cast<int>(start);
  call.selectionEnd = argsStart + static_cast<int>(end);
  return call;
}

const FunctionEntry* askFunction(bool macroSheet) {
  platform::DialogTemplate t;
  t.title = u"粘贴函数";
  t.width = 280;
  t.height = 170;
  t.controls = {
      {kCategoryLabel, ControlKind::Static, u"函数分类：", 7, 7, 100, 10},
      {kCategoryList, ControlKind::ListBox, {}, 7, 19, 100, 104},
      {kFunctionLabel, ControlKind::Static, u"函数名：", 114, 7, 159, 10},
      {kFunctionList, ControlKind::ListBox, {}, 114, 19, 159, 104},
      {kSignatureText, ControlKind::Static, {}, 7, 128, 266, 18},
      {platform::kIdOk, ControlKind::Button, u"确定", 166, 150, 50, 14, platform::kStyleDefault},
      {platform::kIdCancel, ControlKind::Button, u"取消", 223, 150, 50, 14},
  };
  InsertFunctionProcedure procedure(macroSheet);
  if (platform::dialogHost().run(t, procedure) != platform::kIdOk)
    return nullptr;
  return procedure.chosen();
}

} // namespace dialogs
