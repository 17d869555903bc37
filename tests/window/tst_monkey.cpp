// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"
#include "body.h"
#include "dispa.h"
#include "panelrow.h"
#include "testsupport.h"

#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QMimeData>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

// A user who does anything in any order: loads, drops, clears, removes
// points, drags and zooms the plots and resizes the window, at random but
// from a fixed seed so that a failure can be replayed. Run under the
// sanitizers, it looks for crashes, stale pointers and leaks; after every
// step the panels must still match the points.
class tst_Monkey : public QObject
{
    Q_OBJECT
private slots:
    void randomSession_data();
    void randomSession();
};

namespace {

QStringList inputFiles()
{
    QStringList files;
    const QDir examples(QStringLiteral(RATELENS_EXAMPLES_DIR));
    for (const QString &name : examples.entryList({ "*.dat" }, QDir::Files, QDir::Name))
        files.append(examples.filePath(name));
    for (const char *dir : { "/conformance/05_mixed_batch_missing_file/input",
                             "/conformance/03_table_header_forms_trace/input" }) {
        const QDir inputs(QStringLiteral(RATELENS_TEST_DATA) + QLatin1String(dir));
        for (const QString &name : inputs.entryList(QDir::Files, QDir::Name))
            files.append(inputs.filePath(name));
    }
    files.append(QStringLiteral("/no/such/file.dat"));
    return files;
}

void mouse(DispA *d, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent e(type, QPointF(pos), d->mapToGlobal(pos),
                  type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(d, &e);
}

QString panelsOutOfStep(Body &body)
{
    const MeasSet &set = body.measSet();
    if (set.mcas.size() != set.points.size())
        return QStringLiteral("%1 panels for %2 points").arg(set.mcas.size()).arg(set.points.size());
    if (set.estimated != !set.tauLEs.isEmpty())
        return QStringLiteral("result boxes without estimation or the other way round");
    auto *layout = body.findChild<QGridLayout *>("MCALayout");
    for (int p = 0; p < set.mcas.size(); ++p) {
        const int row = panelRow(layout, set.mcas[p]);
        if (set.mcas[p] && (row != p || set.mcas[p]->i0 != set.points.at(p).i0))
            return QStringLiteral("panel %1 in row %2").arg(p).arg(row);
    }
    return QString();
}

} // namespace

void tst_Monkey::randomSession_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 16") << 16u;
    QTest::newRow("seed 1602") << 1602u;
}

void tst_Monkey::randomSession()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QStringList files = inputFiles();
    QVERIFY(files.size() > 8);
    auto someFiles = [&] {
        QStringList batch;
        for (int n = random.bounded(1, 4); n > 0; --n)
            batch.append(files[random.bounded(files.size())]);
        return batch;
    };

    Body body;
    body.resize(1000, 700);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    testsupport::DebugCapture quiet;
    DispA *plots[] = { body.findChild<DispA *>("I0NinDisp"), body.findChild<DispA *>("NinNoutDisp") };

    constexpr int steps = 150;
    for (int step = 0; step < steps; ++step) {
        const int what = random.bounded(8);
        DispA *plot = plots[random.bounded(2)];
        const QPoint a(random.bounded(qMax(1, plot->width())), random.bounded(qMax(1, plot->height())));
        const QPoint b(random.bounded(qMax(1, plot->width())), random.bounded(qMax(1, plot->height())));
        switch (what) {
        case 0:
        case 1:
            emit body.openFileDialog()->filesSelected(someFiles());
            break;
        case 2: {
            QMimeData mime;
            QList<QUrl> urls;
            for (const QString &f : someFiles())
                urls.append(QUrl::fromLocalFile(f));
            mime.setUrls(urls);
            QDropEvent drop(QPointF(a), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&body, &drop);
            break;
        }
        case 3:
            if (random.bounded(4) == 0)
                QTest::mouseClick(body.findChild<QPushButton *>("Clear"), Qt::LeftButton);
            else
                body.removePoint(random.bounded(-1, body.measSet().mcas.size() + 1));
            break;
        case 4: {
            const Qt::MouseButton button = random.bounded(2) ? Qt::LeftButton : Qt::RightButton;
            mouse(plot, QEvent::MouseButtonPress, a, button);
            mouse(plot, QEvent::MouseMove, b, button);
            mouse(plot, QEvent::MouseButtonRelease, b, button);
            break;
        }
        case 5: {
            QWheelEvent wheel(QPointF(a), QPointF(plot->mapToGlobal(a)), QPoint(),
                              QPoint(0, random.bounded(-360, 361)), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(plot, &wheel);
            break;
        }
        case 6:
            mouse(plot, QEvent::MouseButtonDblClick, a, Qt::LeftButton);
            break;
        case 7:
            body.resize(random.bounded(300, 1600), random.bounded(200, 1000));
            break;
        }
        QCoreApplication::processEvents();
        const QString problem = panelsOutOfStep(body);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("step %1: ").arg(step) + problem));
        if (step % 10 == 0)
            QVERIFY(!body.grab().isNull());
    }
}

QTEST_MAIN(tst_Monkey)
#include "tst_monkey.moc"
