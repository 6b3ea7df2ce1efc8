// The lamp's accessibility interface.
#include "widgets/LedLampAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include "widgets/LedLamp.h"

namespace karvo {

namespace {

class TLedLampAccessible : public QAccessibleWidget {
 public:
  explicit TLedLampAccessible(TLedLamp* lamp) : QAccessibleWidget(lamp, QAccessible::Indicator) {}

  QString text(QAccessible::Text t) const override {
    const TLedLamp& l = Lamp();
    switch (t) {
      case QAccessible::Name:
        return l.accessibleName().isEmpty() ? l.Hint() : l.accessibleName();
      case QAccessible::Description:
        return l.accessibleDescription().isEmpty() ? QStringLiteral("Lamp, %1").arg(LedLampStateText(l))
                                                   : l.accessibleDescription();
      case QAccessible::Value:
        return LedLampStateText(l);
      default:
        return QAccessibleWidget::text(t);
    }
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = true;
    s.checked = Lamp().Value();
    s.animated = Lamp().Value() && Lamp().Blink() && Lamp().Interval() > 0;
    s.readOnly = true;
    return s;
  }

 private:
  const TLedLamp& Lamp() const { return *static_cast<const TLedLamp*>(object()); }
};

QAccessibleInterface* LedLampFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("karvo::TLedLamp") && object && object->isWidgetType())
    return new TLedLampAccessible(static_cast<TLedLamp*>(object));
  return nullptr;
}

}  // namespace

void InstallLedLampAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(LedLampFactory);
    return true;
  }();
  (void)installed;
}

QString LedLampStateText(const TLedLamp& lamp) {
  if (!lamp.Value()) return QStringLiteral("off");
  return lamp.Blink() && lamp.Interval() > 0 ? QStringLiteral("blinking") : QStringLiteral("on");
}

void NotifyLedLampState(TLedLamp* lamp) {
  if (!QAccessible::isActive()) return;
  QAccessible::State changed;
  changed.checked = true;
  changed.animated = true;
  QAccessibleStateChangeEvent event(lamp, changed);
  QAccessible::updateAccessibility(&event);
  QAccessibleValueChangeEvent value(lamp, LedLampStateText(*lamp));
  QAccessible::updateAccessibility(&value);
}

}  // namespace karvo
