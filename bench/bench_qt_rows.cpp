// Building, scrolling and freeing the logger list for large groups; prints its figures.
#include "engine/LoggerTable.h"
#include "ui/LoggerListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include <cstdio>
#include <fstream>
#include <string>

namespace {
long rssKb() {
    std::ifstream f("/proc/self/status");
    std::string key;
    while (f >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            f >> kb;
            return kb;
        }
        f.ignore(4096, '\n');
    }
    return 0;
}

void run(int n) {
    QWidget window;
    window.resize(792, 478);
    auto* scroll = new QScrollArea(&window);
    scroll->setGeometry(141, 33, 651, 425);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    content->resize(640, 0);
    std::array<QFrame*, 6> bevels{};
    for (auto& b : bevels) {
        b = new QFrame(content);
        b->setFrameShape(QFrame::VLine);
    }
    auto* devPtr = new QLabel(content);
    auto* attemptPtr = new QLabel(&window);
    scroll->setWidget(content);
    window.show();
    QApplication::processEvents();

    LoggerTable table;
    for (int i = 0; i < n; ++i)
        table.appendLogger("D40" + std::to_string(7000000 + i),
                           "\xcf\xf0\xee\xe1\xed\xe0\xff \xf1\xea\xe2\xe0\xe6\xe8\xed\xe0 " +
                               std::to_string(i));
    LoggerListView view(scroll, content, bevels, devPtr, attemptPtr, [](const QString&) {});
    table.setRowNotifications(&view);

    const long rssBefore = rssKb();
    QElapsedTimer t;
    t.start();
    table.AllocateTable();
    const double buildMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    QApplication::processEvents();
    scroll->viewport()->repaint();
    const double shownMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const long rssAfter = rssKb();

    // Scroll page by page over the whole list and repaint each time, as dragging the bar would.
    QScrollBar* bar = scroll->verticalScrollBar();
    const int steps = 200;
    t.restart();
    for (int s = 0; s < steps; ++s) {
        bar->setValue(bar->maximum() * s / (steps - 1));
        scroll->viewport()->repaint();
    }
    const double scrollMs = static_cast<double>(t.nsecsElapsed()) / 1e6 / steps;

    t.restart();
    table.ResetTable(false);
    QApplication::processEvents();
    const double freeMs = static_cast<double>(t.nsecsElapsed()) / 1e6;

    std::printf("rows %6d: build %8.1f ms, shown and painted %8.1f ms, scroll step %6.2f ms, free %8.1f ms, "
                "memory %+ld kB\n",
                n, buildMs, shownMs, scrollMs, freeMs, rssAfter - rssBefore);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    run(1000);
    run(10000);
    return 0;
}
