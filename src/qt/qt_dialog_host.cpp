#include "qt/qt_dialog_host.h"

#include "qt/modal.h"
#include "qt/qt_canvas.h"
#include "qt/qt_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <vector>

namespace qtui {
namespace {

using platform::ControlKind;
using platform::Notification;

QString qs(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::u16string u16(const QString& text) { return text.toStdU16String(); }

QColor qColour(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

/// Dialog units to pixels: a quarter of the font's average character width
/// across, an eighth of its height down.
struct DialogUnits {
  int charWidth;
  int charHeight;
  int x(int du) const { return du * charWidth / 4; }
  int y(int du) const { return du * charHeight / 8; }
};

DialogUnits unitsOf(const QWidget& w) {
  const QFontMetrics fm(w.font());
  return {std::max(1, fm.averageCharWidth()), std::max(1, fm.height())};
}

/// A control the dialog procedure paints and that reports presses to it.
class OwnerDrawnWidget final : public QWidget {
public:
  OwnerDrawnWidget(QWidget* parent, platform::DialogProcedure& procedure, int id)
      : QWidget(parent), m_procedure(procedure), m_id(id) {}

  std::function<void(platform::Point, const platform::Rect&)> onPress;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QtCanvas canvas(painter);
    m_procedure.paintControl(m_id, canvas, {0, 0, width(), height()});
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton || !onPress)
      return;
    const QPoint p = event->position().toPoint();
    onPress({p.x(), p.y()}, {0, 0, width(), height()});
  }

private:
  platform::DialogProcedure& m_procedure;
  int m_id;
};

std::optional<view::PickerKind> pickerKindOf(std::u16string_view windowClass) {
  if (windowClass == platform::kColourPickerClass)
    return view::PickerKind::Colour;
  if (windowClass == platform::kPatternPickerClass)
    return view::PickerKind::Pattern;
  if (windowClass == platform::kLinePickerClass)
    return view::PickerKind::Line;
  if (windowClass == platform::kBorderPickerClass)
    return view::PickerKind::Border;
  return std::nullopt;
}

/// Whether `text` holds an "&x" mnemonic ("&&" is a literal ampersand).
bool hasMnemonic(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&')
      continue;
    if (text[i + 1] != u'&')
      return true;
    ++i;
  }
  return false;
}

/// The widgets of one template on one parent, seen as DialogControls, with
/// their signals routed to the procedure. Changes the procedure makes are
/// not reported back to it.
class QtControls final : public platform::DialogControls {
public:
  /// `press` handles OK, Cancel and the ids a procedure closes with.
  QtControls(platform::DialogProcedure& procedure, std::function<void(int)> press)
      : m_procedure(procedure), m_press(std::move(press)) {}

  void build(const platform::DialogTemplate& t, QWidget& parent, const DialogUnits& du) {
    QButtonGroup* radios = nullptr;
    std::vector<QWidget*> frames;
    // A label's "&N" moves the focus to the next control that can take it,
    // as a dialog label does on Windows; without a buddy Qt shows the "&".
    QLabel* waitingForBuddy = nullptr;
    for (const platform::DialogControl& c : t.controls) {
      QWidget* w = make(c, parent);
      if (!m_firstFocus && (w->focusPolicy() & Qt::TabFocus))
        m_firstFocus = w;
      if (auto* label = qobject_cast<QLabel*>(w)) {
        waitingForBuddy = hasMnemonic(label->text()) ? label : nullptr;
      } else if (waitingForBuddy && c.kind != ControlKind::GroupBox) {
        waitingForBuddy->setBuddy(w);
        waitingForBuddy = nullptr;
      }
      if (c.kind == ControlKind::Radio) {
        if (!radios || (c.style & platform::kStyleGroupStart)) {
          radios = new QButtonGroup(&parent);
          radios->setExclusive(true);
        }
        radios->addButton(static_cast<QAbstractButton*>(w));
      } else {
        radios = nullptr;
      }
      if (c.kind == ControlKind::GroupBox)
        frames.push_back(w);
      w->setGeometry(du.x(c.x), du.y(c.y), du.x(c.w), du.y(c.h));
      w->setEnabled((c.style & platform::kStyleDisabled) == 0);
      if (c.id > 0) {
        w->setObjectName(controlObjectName(c.id));
        m_widgets.emplace(c.id, w);
      }
    }
    // Frames are drawn behind the controls they surround.
    for (QWidget* f : frames)
      f->lower();
  }

  /// Stops reporting: widgets being torn down must not reach the procedure.
  void mute() { m_quiet = true; }

  /// The dialog opens on its first control; an edit there has its text
  /// selected, so typing replaces what the procedure filled in, unless the
  /// procedure chose a selection itself.
  void selectFirstEdit() {
    if (auto* e = qobject_cast<QLineEdit*>(m_firstFocus); e && !m_selectionChosen)
      e->selectAll();
  }

  /// A key pressed a button for the user: reported as its click when enabled.
  void click(int id) {
    if (QWidget* w = find(id); w && w->isEnabled())
      report(id, Notification::Clicked);
  }

  std::u16string text(int id) const override {
    QWidget* w = find(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
      return u16(e->text());
    if (auto* e = qobject_cast<QPlainTextEdit*>(w))
      return u16(e->toPlainText());
    if (auto* l = qobject_cast<QLabel*>(w))
      return u16(l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w))
      return u16(b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w))
      return u16(g->title());
    if (auto* list = qobject_cast<QListWidget*>(w))
      return list->currentItem() ? u16(list->currentItem()->text()) : std::u16string();
    if (auto* combo = qobject_cast<QComboBox*>(w))
      return u16(combo->currentText());
    if (auto* spin = qobject_cast<QSpinBox*>(w))
      return u16(spin->text());
    return {};
  }

  void setText(int id, std::u16string_view text) override {
    const Quiet quiet(*this);
    QWidget* w = find(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
      e->setText(qs(text));
    else if (auto* e = qobject_cast<QPlainTextEdit*>(w))
      e->setPlainText(qs(text));
    else if (auto* l = qobject_cast<QLabel*>(w))
      l->setText(qs(text));
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
      b->setText(qs(text));
    else if (auto* g = qobject_cast<QGroupBox*>(w))
      g->setTitle(qs(text));
    else if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->isEditable())
      combo->setEditText(qs(text));
    else if (auto* spin = qobject_cast<QSpinBox*>(w))
      spin->setValue(qs(text).trimmed().toInt());
  }

  bool checked(int id) const override {
    auto* b = qobject_cast<QAbstractButton*>(find(id));
    return b && b->isChecked();
  }

  void setChecked(int id, bool on) override {
    const Quiet quiet(*this);
    if (auto* b = qobject_cast<QAbstractButton*>(find(id)))
      b->setChecked(on);
  }

  void setItems(int id, const std::vector<std::u16string>& items) override {
    const Quiet quiet(*this);
    QStringList list;
    for (const auto& item : items)
      list << qs(item);
    QWidget* w = find(id);
    if (auto* l = qobject_cast<QListWidget*>(w)) {
      l->clear();
      l->addItems(list);
      l->setCurrentRow(-1);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
      c->clear();
      c->addItems(list);
      c->setCurrentIndex(-1);
    }
  }

  void setItemColour(int id, int index, std::uint32_t colour) override {
    QWidget* w = find(id);
    if (auto* l = qobject_cast<QListWidget*>(w)) {
      if (QListWidgetItem* item = l->item(index))
        item->setData(Qt::DecorationRole, qColour(colour));
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
      if (index >= 0 && index < c->count())
        c->setItemData(index, qColour(colour), Qt::DecorationRole);
    }
  }

  int itemCount(int id) const override {
    QWidget* w = find(id);
    if (auto* l = qobject_cast<QListWidget*>(w))
      return l->count();
    if (auto* c = qobject_cast<QComboBox*>(w))
      return c->count();
    return 0;
  }

  std::u16string itemText(int id, int index) const override {
    QWidget* w = find(id);
    if (auto* l = qobject_cast<QListWidget*>(w))
      return l->item(index) ? u16(l->item(index)->text()) : std::u16string();
    if (auto* c = qobject_cast<QComboBox*>(w))
      return index >= 0 && index < c->count() ? u16(c->itemText(index)) : std::u16string();
    return {};
  }

  int selection(int id) const override {
    QWidget* w = find(id);
    if (auto* l = qobject_cast<QListWidget*>(w))
      return l->currentItem() && l->currentItem()->isSelected() ? l->currentRow() : -1;
    if (auto* c = qobject_cast<QComboBox*>(w))
      return c->currentIndex();
    return -1;
  }

  void setSelection(int id, int index) override {
    const Quiet quiet(*this);
    QWidget* w = find(id);
    if (auto* l = qobject_cast<QListWidget*>(w)) {
      if (index < 0 || index >= l->count()) {
        l->setCurrentRow(-1);
        l->clearSelection();
      } else {
        l->setCurrentRow(index);
        l->scrollToItem(l->item(index));
      }
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
      c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
    }
  }

  bool enabled(int id) const override {
    QWidget* w = find(id);
    return w && w->isEnabled();
  }

  void setEnabled(int id, bool on) override {
    if (QWidget* w = find(id))
      w->setEnabled(on);
  }

  int checkState(int id) const override {
    auto* b = qobject_cast<QCheckBox*>(find(id));
    if (!b)
      return checked(id) ? platform::kChecked : platform::kUnchecked;
    switch (b->checkState()) {
    case Qt::Checked: return platform::kChecked;
    case Qt::PartiallyChecked: return platform::kIndeterminate;
    default: return platform::kUnchecked;
    }
  }

  void setCheckState(int id, int state) override {
    const Quiet quiet(*this);
    auto* b = qobject_cast<QCheckBox*>(find(id));
    if (!b) {
      setChecked(id, state == platform::kChecked);
      return;
    }
    if (state == platform::kIndeterminate)
      b->setTristate(true);
    b->setCheckState(state == platform::kChecked         ? Qt::Checked
                     : state == platform::kIndeterminate ? Qt::PartiallyChecked
                                                         : Qt::Unchecked);
  }

  int scrollPosition(int id) const override {
    auto* b = qobject_cast<QScrollBar*>(find(id));
    return b ? b->value() : 0;
  }

  void setScroll(int id, int position, int low, int high, int page) override {
    const Quiet quiet(*this);
    if (auto* b = qobject_cast<QScrollBar*>(find(id))) {
      b->setRange(low, std::max(low, high));
      b->setPageStep(std::max(1, page));
      b->setValue(position);
    }
  }

  int pickerValue(int id) const override {
    auto* p = dynamic_cast<PickerButtonWidget*>(find(id));
    return p ? p->button().value() : 0;
  }

  void setPickerValue(int id, int value) override {
    if (auto* p = dynamic_cast<PickerButtonWidget*>(find(id)))
      p->button().setValue(value);
  }

  void setPickerOption(int id, int option) override {
    if (auto* p = dynamic_cast<PickerButtonWidget*>(find(id)))
      p->button().setOption(option);
  }

  void setPreviewFont(int id, const platform::FontSpec& font) override {
    if (auto* p = dynamic_cast<FontPreviewWidget*>(find(id)))
      p->setPreviewFont(font);
  }

  void invalidate(int id) override {
    if (QWidget* w = find(id))
      w->update();
  }

  void selectText(int id, int start, int end) override {
    m_selectionChosen = true;
    if (auto* e = qobject_cast<QLineEdit*>(find(id))) {
      const int size = static_cast<int>(e->text().size());
      start = std::clamp(start, 0, size);
      end = std::clamp(end, start, size);
      e->setSelection(start, end - start);
      e->setFocus();
    } else if (auto* e = qobject_cast<QPlainTextEdit*>(find(id))) {
      const int size = static_cast<int>(e->toPlainText().size());
      QTextCursor cursor = e->textCursor();
      cursor.setPosition(std::clamp(start, 0, size));
      cursor.setPosition(std::clamp(end, std::clamp(start, 0, size), size), QTextCursor::KeepAnchor);
      e->setTextCursor(cursor);
      e->setFocus();
    }
  }

private:
  /// Marks changes made for the procedure so the signals they raise are
  /// not reported to it as the user's.
  struct Quiet {
    explicit Quiet(QtControls& c) : controls(c), was(c.m_quiet) { c.m_quiet = true; }
    ~Quiet() { controls.m_quiet = was; }
    QtControls& controls;
    bool was;
  };

  QWidget* find(int id) const {
    auto it = m_widgets.find(id);
    return it == m_widgets.end() ? nullptr : it->second;
  }

  void report(int id, Notification what) {
    if (m_quiet)
      return;
    const int closeWith = m_procedure.onCommand(*this, id, what);
    if (closeWith != 0)
      m_press(closeWith);
  }

  QWidget* make(const platform::DialogControl& c, QWidget& parent) {
    const int id = c.id;
    switch (c.kind) {
    case ControlKind::Static: {
      auto* l = new QLabel(qs(c.text), &parent);
      l->setWordWrap(true);
      l->setAlignment((c.style & platform::kStyleCentre) ? Qt::AlignCenter
                                                         : Qt::AlignLeft | Qt::AlignTop);
      return l;
    }
    case ControlKind::Edit: {
      if (c.style & platform::kStyleUpDown) {
        auto* spin = new QSpinBox(&parent);
        spin->setRange(c.low, c.high);
        spin->setValue(qs(c.text).toInt());
        QObject::connect(spin, &QSpinBox::valueChanged, spin, [this, id] { report(id, Notification::Changed); });
        return spin;
      }
      if (c.style & platform::kStyleMultiLine) {
        auto* e = new QPlainTextEdit(qs(c.text), &parent);
        e->setTabChangesFocus(true);
        const int limit = c.limit;
        QObject::connect(e, &QPlainTextEdit::textChanged, e, [this, id, e, limit] {
          // The limit holds for pasted text too.
          if (limit > 0 && e->toPlainText().size() > limit) {
            const Quiet quiet(*this);
            e->setPlainText(e->toPlainText().left(limit));
            e->moveCursor(QTextCursor::End);
          }
          report(id, Notification::Changed);
        });
        return e;
      }
      auto* e = new QLineEdit(qs(c.text), &parent);
      if (c.style & platform::kStylePassword)
        e->setEchoMode(QLineEdit::Password);
      if (c.limit > 0)
        e->setMaxLength(c.limit);
      QObject::connect(e, &QLineEdit::textEdited, e,
                       [this, id] { report(id, Notification::Changed); });
      return e;
    }
    case ControlKind::Button: {
      auto* b = new QPushButton(qs(c.text), &parent);
      b->setDefault((c.style & platform::kStyleDefault) != 0);
      b->setAutoDefault(false);
      QObject::connect(b, &QPushButton::clicked, b, [this, id] {
        if (id == platform::kIdOk || id == platform::kIdCancel)
          m_press(id);
        else
          report(id, Notification::Clicked);
      });
      return b;
    }
    case ControlKind::CheckBox:
    case ControlKind::Radio: {
      QAbstractButton* b = c.kind == ControlKind::CheckBox
                               ? static_cast<QAbstractButton*>(new QCheckBox(qs(c.text), &parent))
                               : new QRadioButton(qs(c.text), &parent);
      if (c.kind == ControlKind::CheckBox && (c.style & platform::kStyleThreeState))
        static_cast<QCheckBox*>(b)->setTristate(true);
      QObject::connect(b, &QAbstractButton::clicked, b,
                       [this, id] { report(id, Notification::Clicked); });
      return b;
    }
    case ControlKind::ListBox: {
      auto* l = new QListWidget(&parent);
      // Reported once the item is selected too: a click makes it current first.
      QObject::connect(l, &QListWidget::itemSelectionChanged, l,
                       [this, id] { report(id, Notification::SelectionChanged); });
      QObject::connect(l, &QListWidget::itemDoubleClicked, l,
                       [this, id] { report(id, Notification::DoubleClicked); });
      return l;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(&parent);
      if (c.style & platform::kStyleEditable) {
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        QObject::connect(combo, &QComboBox::editTextChanged, combo, [this, id] { report(id, Notification::Changed); });
      }
      QObject::connect(combo, &QComboBox::activated, combo,
                       [this, id] { report(id, Notification::SelectionChanged); });
      return combo;
    }
    case ControlKind::GroupBox: return new QGroupBox(qs(c.text), &parent);
    case ControlKind::ScrollBar: {
      auto* b = new QScrollBar(c.h > c.w ? Qt::Vertical : Qt::Horizontal, &parent);
      b->setRange(c.low, std::max(c.low, c.high));
      // Dragging reports each record passed, as the arrows and page clicks do.
      QObject::connect(b, &QScrollBar::valueChanged, b, [this, id] { report(id, Notification::Scrolled); });
      return b;
    }
    case ControlKind::Picker: {
      if (const std::optional<view::PickerKind> kind = pickerKindOf(c.text)) {
        auto* p = new PickerButtonWidget(*kind, id, &parent);
        p->setLook({platform::textMetrics().defaultFont(), nullptr});
        p->onCommand = [this, id](int, unsigned code) {
          if (code == view::kPickerSelectionChange)
            report(id, Notification::SelectionChanged);
        };
        return p;
      }
      if (c.text == platform::kFontPreviewClass)
        return new FontPreviewWidget(&parent);
      auto* w = new OwnerDrawnWidget(&parent, m_procedure, id);
      w->onPress = [this, id](platform::Point p, const platform::Rect& r) {
        if (m_quiet)
          return;
        const int closeWith = m_procedure.onClickAt(*this, id, p, r);
        if (closeWith != 0)
          m_press(closeWith);
      };
      return w;
    }
    }
    return new QWidget(&parent);
  }

  platform::DialogProcedure& m_procedure;
  std::function<void(int)> m_press;
  std::map<int, QWidget*> m_widgets;
  QWidget* m_firstFocus = nullptr;
  bool m_selectionChosen = false;
  bool m_quiet = false;
};

/// A dialog whose Enter and Escape go through the same path as the OK and
/// Cancel buttons, so the procedure may refuse OK however it was asked for.
class TemplateDialog final : public QDialog {
public:
  TemplateDialog(QWidget* parent, std::function<bool()> okAllowed)
      : QDialog(parent), m_okAllowed(std::move(okAllowed)) {}

  void press(int id) {
    if (id == platform::kIdOk) {
      if (m_okAllowed())
        done(platform::kIdOk);
    } else {
      done(id);
    }
  }
  void accept() override { press(platform::kIdOk); }
  void reject() override { done(platform::kIdCancel); }

  /// What Shift+Enter does (the template's kStyleShiftDefault button).
  std::function<void()> shiftEnter;

protected:
  void keyPressEvent(QKeyEvent* e) override {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && shiftEnter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier) {
      shiftEnter();
      e->accept();
      return;
    }
    QDialog::keyPressEvent(e);
  }

private:
  std::function<bool()> m_okAllowed;
};

} // namespace

QString controlObjectName(int id) { return QStringLiteral("control%1").arg(id); }

int QtDialogHost::run(const platform::DialogTemplate& t, platform::DialogProcedure& procedure) {
  std::unique_ptr<QtControls> controls;
  TemplateDialog dialog(m_parent, [&] { return procedure.onOk(*controls); });
  controls = std::make_unique<QtControls>(procedure, [&](int id) { dialog.press(id); });
  dialog.setWindowTitle(qs(t.title));
  const DialogUnits du = unitsOf(dialog);
  controls->build(t, dialog, du);
  for (const platform::DialogControl& c : t.controls)
    if (c.kind == ControlKind::Button && (c.style & platform::kStyleShiftDefault))
      dialog.shiftEnter = [&controls, id = c.id] { controls->click(id); };
  dialog.setFixedSize(du.x(t.width), du.y(t.height));
  procedure.onInit(*controls);
  controls->selectFirstEdit();
  const int result = execModal(dialog);
  controls->mute();
  return result;
}

int QtDialogHost::runSheet(const platform::PropertySheetTemplate& sheet,
                           std::span<platform::DialogProcedure* const> pages) {
  const size_t count = std::min(sheet.pages.size(), pages.size());
  std::vector<std::unique_ptr<QtControls>> controls;
  TemplateDialog dialog(m_parent, [&] {
    for (size_t p = 0; p < count; ++p)
      if (!pages[p]->onOk(*controls[p]))
        return false;
    return true;
  });
  dialog.setWindowTitle(qs(sheet.title));
  const DialogUnits du = unitsOf(dialog);
  auto* tabs = new QTabWidget(&dialog);
  int width = 0, height = 0;
  for (size_t p = 0; p < count; ++p) {
    const platform::DialogTemplate& t = sheet.pages[p];
    auto* page = new QWidget(tabs);
    page->setMinimumSize(du.x(t.width), du.y(t.height));
    width = std::max(width, du.x(t.width));
    height = std::max(height, du.y(t.height));
    controls.push_back(std::make_unique<QtControls>(*pages[p], [&](int id) { dialog.press(id); }));
    controls.back()->build(t, *page, du);
    tabs->addTab(page, qs(t.title));
  }
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  ok->setObjectName(controlObjectName(platform::kIdOk));
  ok->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog,
                   [&] { dialog.press(platform::kIdOk); });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog,
                   [&] { dialog.press(platform::kIdCancel); });
  tabs->setCurrentIndex(std::clamp(sheet.startPage, 0, static_cast<int>(count) - 1));
  // The page being left may keep itself shown (its checks failed).
  int shown = tabs->currentIndex();
  bool turningBack = false;
  const QMetaObject::Connection leaving = QObject::connect(tabs, &QTabWidget::currentChanged, &dialog, [&](int to) {
    if (turningBack || to == shown)
      return;
    if (shown >= 0 && static_cast<size_t>(shown) < count && !pages[static_cast<size_t>(shown)]->onLeavePage(*controls[static_cast<size_t>(shown)])) {
      turningBack = true;
      tabs->setCurrentIndex(shown);
      turningBack = false;
      return;
    }
    shown = to;
  });
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  tabs->setMinimumSize(width, height + tabs->tabBar()->sizeHint().height());
  for (size_t p = 0; p < count; ++p)
    pages[p]->onInit(*controls[p]);
  const int result = execModal(dialog);
  QObject::disconnect(leaving);
  for (auto& c : controls)
    c->mute();
  if (sheet.shownPage)
    *sheet.shownPage = tabs->currentIndex();
  return result;
}

} // namespace qtui
