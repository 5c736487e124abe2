// The Qt tests' entry: one application for the whole run, on the offscreen platform
// unless the caller chose another. A drawing Qt cannot find or read (its "qt.svg"
// warnings) fails the test that asked for it: a window would show a blank there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

namespace {

QtMessageHandler qtDefault = nullptr;

void failOnMissingDrawing(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (context.category != nullptr && QString::fromLatin1(context.category) == "qt.svg") {
    ADD_FAILURE() << "Qt could not draw: " << text.toStdString();
  }
  qtDefault(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const QApplication app(argc, argv);
  qtDefault = qInstallMessageHandler(failOnMissingDrawing);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
