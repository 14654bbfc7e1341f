// The editor on a display that cannot show OpenGL (QT_QPA_PLATFORM=offscreen): it must start with
// the raster canvas instead of crashing, say so once on standard error, and draw the board.
#include <QApplication>
#include <QFile>
#include <QTest>
#include <cstdio>
#include <unistd.h>

#include "app/AppTestSupport.h"
#include "app/Canvas.h"
#include "model/Registry.h"

using namespace gw;
using namespace gw::test;

class OffscreenTest : public QObject {
    Q_OBJECT
private slots:
    void startsAndDrawsThroughTheRasterCanvas() {
        QCOMPARE(QGuiApplication::platformName(), QString("offscreen"));
        Workspace ws;
        // Standard error goes to a file while the editor starts, to read what it said.
        const QString errPath = ws.path("stderr.txt");
        std::fflush(stderr);
        const int saved = dup(2);
        FILE* capture = std::fopen(errPath.toLocal8Bit().constData(), "w");
        QVERIFY(capture);
        dup2(fileno(capture), 2);
        auto d = std::make_shared<ScriptedDialogs>();
        AppOptions o;
        o.splashMinMs = 0;
        o.dialogs = d;
        auto app = TApp::Create(o);
        auto second = TApp::Create(o);  // a second canvas does not say it again
        second->Destroy();
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        std::fclose(capture);
        QFile f(errPath);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString said = QString::fromLocal8Bit(f.readAll());
        QCOMPARE(said.count("raster"), 1);

        QVERIFY(!app->usesOpenGL());
        app->board->addDevice(getDraft("$led255|100|100"), 5, 5);
        QVERIFY(waitFrames(*app, 3));
        const QImage frame = app->canvas->grabFrame();
        QVERIFY(!frame.isNull());
        QCOMPARE(frame.width(), app->clientWidth());
        // The background colour fills an empty spot; the device shows as other colours.
        int br, bg, bb;
        app->board->getBackgroundColor(br, bg, bb);
        int differing = 0;
        for (int y = 80; y < 120; ++y)
            for (int x = 80; x < 120; ++x)
                if (frame.pixelColor(x, y) != QColor(br, bg, bb)) ++differing;
        QVERIFY2(differing > 100, qPrintable(QString::number(differing)));
        QVERIFY(app->frameCount() >= 3);
    }
};

int main(int argc, char** argv) {
    requestSurfaceFormat();
    QApplication qapp(argc, argv);
    OffscreenTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_app_offscreen.moc"
