// The program's identity on the desktop: the window's icon is the product's
// icon (the PNG the package installs), the desktop name is the one of the
// desktop entry.
#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QWidget>

#include "app/Program.h"

TEST(ProgramIdentity, WindowIconIsTheProductIconAndDesktopNameTheEntry) {
  karvo::SetProgramIdentity();
  EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral(KARVO_APP_ID));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Karvo Temp"));

  QWidget window;
  const QIcon icon = window.windowIcon();
  ASSERT_FALSE(icon.isNull());
  const QImage shown = icon.pixmap(QSize(256, 256)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QImage installed = QImage(QStringLiteral(KARVO_ICON_PNG)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  ASSERT_FALSE(installed.isNull()) << KARVO_ICON_PNG;
  EXPECT_EQ(shown.size(), QSize(256, 256));
  EXPECT_TRUE(shown == installed);
}
