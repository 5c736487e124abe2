// The panel's open-to-painted time: the real panel, on the display Qt is given (run.sh
// gives it an X server), over a snapshot of a song playing from a 20-song queue. Each
// round hides it, then times show() to the end of the first paint, and to the end of
// the first paint after the snapshot it asked for was presented (the app hands that
// snapshot over from the main actor with a queued call, as here).
//   melodock-bench-panel-open [ROUNDS]
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ui/qt/panel_window.h"

namespace {

using melodock::PanelSnapshot;

PanelSnapshot playing() {
  PanelSnapshot snapshot;
  snapshot.running = true;
  snapshot.lastClient = "Claude Code";
  snapshot.port = 47291;
  snapshot.authorization = melodock::MusicAuthorization::Status::authorized;
  snapshot.canPlayCatalog = true;
  snapshot.hasConnectedClient = true;
  snapshot.setupPrompt = "Connect yourself to Melodock at http://127.0.0.1:47291/mcp";
  for (int index = 0; index < 20; ++index) {
    snapshot.nowPlaying.entries.push_back(
        {.id = "q" + std::to_string(index),
         .title = "For Those About To Rock (We Salute You) " + std::to_string(index),
         .subtitle = "AC/DC — For Those About To Rock We Salute You",
         .duration = 343});
  }
  snapshot.nowPlaying.current = 3;
  snapshot.nowPlaying.playing = true;
  snapshot.nowPlaying.playbackTime = 75;
  snapshot.nowPlaying.note = "Rock night";
  return snapshot;
}

class PaintWatch : public QObject {
 public:
  bool painted = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return QObject::eventFilter(watched, event);
  }
};

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index =
      static_cast<std::size_t>(std::lround(p * static_cast<double>(values.size() - 1)));
  return values[index];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  QApplication app(argc, argv);
  bool presented = false;
  const PanelSnapshot snapshot = playing();
  melodock::qt::PanelWindow panel({.request =
                                       [&](const std::function<void(PanelSnapshot)>& deliver) {
                                         deliver(snapshot);
                                         // Queued behind the panel's own present(): it has run when
                                         // this does.
                                         QMetaObject::invokeMethod(
                                             &app, [&presented] { presented = true; },
                                             Qt::QueuedConnection);
                                       }},
                                  melodock::qt::PanelWindow::Mode::window);
  PaintWatch watch;
  panel.content()->installEventFilter(&watch);

  std::vector<double> first;
  std::vector<double> fresh;
  QElapsedTimer clock;
  for (int round = 0; round <= rounds; ++round) {
    panel.hide();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 30) QCoreApplication::processEvents();
    watch.painted = false;
    presented = false;
    double firstMs = -1;
    clock.start();
    panel.show();
    while (!(watch.painted && presented)) {
      QCoreApplication::processEvents();
      if (watch.painted && firstMs < 0) firstMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
      if (clock.elapsed() > 5000) {
        std::fprintf(stderr, "the panel was not painted within 5 s\n");
        return 1;
      }
    }
    // What the snapshot changed is painted in the next pass.
    QCoreApplication::processEvents();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (round == 0) {
      std::printf("first open: painted %.2f ms, with its snapshot %.2f ms\n", firstMs, ms);
    } else {
      first.push_back(firstMs);
      fresh.push_back(ms);
    }
  }
  std::printf(
      "%d opens on %s: painted median %.2f / p90 %.2f / max %.2f ms; "
      "with its snapshot median %.2f / p90 %.2f / max %.2f ms\n",
      rounds, qPrintable(QGuiApplication::platformName()), percentile(first, 0.5),
      percentile(first, 0.9), percentile(first, 1), percentile(fresh, 0.5), percentile(fresh, 0.9),
      percentile(fresh, 1));
  return 0;
}
