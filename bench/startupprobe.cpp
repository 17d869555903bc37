// Starts one kind of window the way the program's main does and writes "p" to
// standard output as soon as the window's first paint is done; bm_startup
// times that from the moment it spawns this process.
//   window [-e]   the main window (Japanese unless -e), dialogs included
//   form [-e]     the main window's form alone: no file dialogs
//   bare          a QApplication and an empty QWidget of the same size

#include "body.h"
#include "language.h"
#include "ui_body.h"

#include <QApplication>
#include <QEvent>
#include <QTranslator>

#include <memory>
#include <unistd.h>

namespace {

class FormOnly : public QFrame, private Ui_Body
{
public:
    FormOnly() { setupUi(this); }
};

class FirstPaint : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0, QStringLiteral("window"));

    QTranslator translator;
    if (mode != QLatin1String("bare") && japaneseRequested(args.mid(1))) {
        translator.load(QStringLiteral(":Ratelens_ja_JP"), QCoreApplication::applicationDirPath(),
                        QString(), QString());
        QCoreApplication::installTranslator(&translator);
    }

    std::unique_ptr<QWidget> window;
    if (mode == QLatin1String("window")) {
        auto *body = new Body;
        QObject::connect(body, SIGNAL(quit()), &app, SLOT(closeAllWindows()));
        window.reset(body);
    } else if (mode == QLatin1String("form")) {
        window = std::make_unique<FormOnly>();
    } else {
        window = std::make_unique<QWidget>();
        window->resize(1536, 854);
    }

    FirstPaint probe;
    window->installEventFilter(&probe);
    window->show();
    // The filter sees the paint event before the window handles it; the paint
    // is complete once processEvents returns from that delivery.
    while (!probe.painted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const ssize_t written = ::write(STDOUT_FILENO, "p", 1);
    return written == 1 ? 0 : 1;
}
