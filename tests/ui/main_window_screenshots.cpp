// Renders the main window in the light and the dark scheme for the README:
//   main_window_screenshots OUTPUT_FOLDER   (with QT_QPA_PLATFORM=offscreen, or under Xvfb)
#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <cstdio>

#include "store/store_fixture.h"
#include "ui/main_window.h"
#include "window_test_support.h"

namespace {

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(30, 30, 32));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(22, 22, 24));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(44, 44, 46));
    palette.setColor(QPalette::ButtonText, Qt::white);
    return palette;
}

// The store tests' fakes, outside a test.
class Scene final : public test::StoreFixture {
public:
    void TestBody() override {}
    UsageStore& make() { return makeStore(); }
    const Clock& manualClock() const { return clock; }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: main_window_screenshots OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        Scene scene;
        UsageStore& store = scene.make();
        store.apply(test::usageWith(AgentProvider::codex(), {{UsageWindow::kFiveHourSeconds, 28},
                                                             {UsageWindow::kWeeklySeconds, 61}}),
                    SessionStatus::LocalPrimary);
        store.apply(test::usageWith(AgentProvider::claude(), {{UsageWindow::kFiveHourSeconds, 12}}),
                    SessionStatus::LocalPrimary);
        RootView window(store, scene.manualClock());
        window.show();
        QApplication::processEvents();
        const QString path = folder.filePath(dark ? QStringLiteral("main-window-dark.png")
                                                  : QStringLiteral("main-window-light.png"));
        if (!window.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
