// Linked into both start-up benchmarks: ends the program once its window has been painted for
// the first time, so that a whole process run measures start-up up to a visible window.
//
// The hook is a Qt start-up function, run inside the QApplication constructor, so the
// benchmarked main stays the program's own, unchanged.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// Gives up when no paint ever comes, so a broken platform fails instead of hanging.
constexpr int kPatienceMs = 20000;

class QuitAfterFirstPaint final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            // The window paints first and its children after it in the same pass; the queued
            // quit runs once that pass and its flush to the screen are done.
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }
};

void installQuitAfterFirstPaint() {
    auto* filter = new QuitAfterFirstPaint(qApp);
    qApp->installEventFilter(filter);
    QTimer::singleShot(kPatienceMs, qApp, [] {
        std::fputs("no window was painted\n", stderr);
        QCoreApplication::exit(2);
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installQuitAfterFirstPaint)
