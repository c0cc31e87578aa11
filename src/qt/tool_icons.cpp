#include "qt/tool_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

namespace qtui {
namespace {

// Drawn on a 16-unit grid and scaled, so the same strokes serve every size.
using Draw = void (*)(QPainter&);

const QColor kInk(0x20, 0x20, 0x20);
const QColor kPaper(0xFF, 0xFF, 0xFF);
const QColor kFolder(0xE8, 0xB8, 0x40);
const QColor kBlue(0x30, 0x60, 0xC0);

void page(QPainter& p, qreal x, qreal y) {
  QPainterPath path;
  path.moveTo(x, y);
  path.lineTo(x + 6.5, y);
  path.lineTo(x + 9.5, y + 3);
  path.lineTo(x + 9.5, y + 12);
  path.lineTo(x, y + 12);
  path.closeSubpath();
  p.setBrush(kPaper);
  p.drawPath(path);
  p.drawLine(QPointF(x + 6.5, y), QPointF(x + 6.5, y + 3));
  p.drawLine(QPointF(x + 6.5, y + 3), QPointF(x + 9.5, y + 3));
}

void drawNew(QPainter& p) { page(p, 3.5, 1.5); }

void drawOpen(QPainter& p) {
  p.setBrush(kFolder);
  QPainterPath back;
  back.moveTo(1.5, 3.5);
  back.lineTo(6, 3.5);
  back.lineTo(7.5, 5);
  back.lineTo(13.5, 5);
  back.lineTo(13.5, 13.5);
  back.lineTo(1.5, 13.5);
  back.closeSubpath();
  p.drawPath(back);
  QPainterPath front;
  front.moveTo(1.5, 13.5);
  front.lineTo(4, 7.5);
  front.lineTo(15, 7.5);
  front.lineTo(13.5, 13.5);
  front.closeSubpath();
  p.setBrush(kFolder.lighter(120));
  p.drawPath(front);
}

void drawSave(QPainter& p) {
  p.setBrush(kBlue);
  p.drawRect(QRectF(2.5, 2.5, 11, 11));
  p.setBrush(kPaper);
  p.drawRect(QRectF(4.5, 2.5, 7, 4.5));
  p.setBrush(QColor(0xC0, 0xC0, 0xC0));
  p.drawRect(QRectF(5, 9.5, 6, 4));
}

void drawCut(QPainter& p) {
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(2.5, 10, 4, 4));
  p.drawEllipse(QRectF(9.5, 10, 4, 4));
  p.drawLine(QPointF(5.5, 10.5), QPointF(11, 1.5));
  p.drawLine(QPointF(10.5, 10.5), QPointF(5, 1.5));
}

void drawCopy(QPainter& p) {
  page(p, 1.5, 1.5);
  page(p, 5.5, 3.5);
}

void drawPaste(QPainter& p) {
  p.setBrush(QColor(0xB0, 0x80, 0x40));
  p.drawRect(QRectF(2.5, 2.5, 9, 12));
  p.setBrush(QColor(0xC0, 0xC0, 0xC0));
  p.drawRect(QRectF(5, 1.5, 4, 2.5));
  page(p, 6.5, 6.5);
}

void drawUndo(QPainter& p) {
  p.setBrush(Qt::NoBrush);
  QPen pen = p.pen();
  pen.setWidthF(1.6);
  pen.setColor(kBlue);
  p.setPen(pen);
  QPainterPath arc;
  arc.moveTo(4, 7);
  arc.cubicTo(7, 3, 14, 4, 13, 9);
  arc.cubicTo(12.5, 12, 10, 13, 8, 13);
  p.drawPath(arc);
  p.setBrush(kBlue);
  QPainterPath head;
  head.moveTo(1.5, 8.5);
  head.lineTo(6.5, 9);
  head.lineTo(4, 4);
  head.closeSubpath();
  p.drawPath(head);
}

void drawAutoSum(QPainter& p) {
  QPen pen = p.pen();
  pen.setWidthF(1.6);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  QPainterPath sigma;
  sigma.moveTo(12.5, 4);
  sigma.lineTo(12.5, 2.5);
  sigma.lineTo(3.5, 2.5);
  sigma.lineTo(8.5, 8);
  sigma.lineTo(3.5, 13.5);
  sigma.lineTo(12.5, 13.5);
  sigma.lineTo(12.5, 12);
  p.drawPath(sigma);
}

void drawFunction(QPainter& p) {
  QFont f = p.font();
  f.setPixelSize(11);
  f.setItalic(true);
  f.setBold(true);
  f.setFamily(QStringLiteral("Liberation Serif"));
  p.setFont(f);
  p.setPen(kBlue);
  p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("fx"));
}

struct IconEntry {
  int id;
  const char* themeName; // nullptr: no standard name
  Draw draw;
};
// clang-format off
constexpr std::array<IconEntry, 9> kIcons = {{
  {110, "document-new",  drawNew},
  {111, "document-open", drawOpen},
  {113, "document-save", drawSave},
  {131, "edit-cut",      drawCut},
  {132, "edit-copy",     drawCopy},
  {133, "edit-paste",    drawPaste},
  {130, "edit-undo",     drawUndo},
  {185, nullptr,         drawAutoSum},
  {167, nullptr,         drawFunction},
}};
// clang-format on

const IconEntry* entryOf(int id) {
  for (const IconEntry& e : kIcons)
    if (e.id == id)
      return &e;
  return nullptr;
}

QPixmap render(Draw draw, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  QPen pen(kInk);
  pen.setWidthF(1.0);
  p.setPen(pen);
  draw(p);
  return pixmap;
}

} // namespace

QIcon drawnToolIcon(int commandId) {
  const IconEntry* e = entryOf(commandId);
  if (!e)
    return {};
  QIcon icon;
  for (const int size : {16, 24, 32})
    icon.addPixmap(render(e->draw, size));
  return icon;
}

QIcon toolIcon(int commandId) {
  const IconEntry* e = entryOf(commandId);
  if (!e)
    return {};
  if (e->themeName && QIcon::hasThemeIcon(QString::fromLatin1(e->themeName)))
    return QIcon::fromTheme(QString::fromLatin1(e->themeName));
  return drawnToolIcon(commandId);
}

} // namespace qtui
