// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"
#include "language.h"

#include <QApplication>
#include <QString>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // argc and argv as QApplication left them, without the options it took.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromUtf8(argv[i]));
    const bool japanese = japaneseRequested(args);

    QTranslator translator;
    if (japanese) {
        // The leading colon makes this the compiled-in catalogue ":Ratelens_ja_JP.qm".
        translator.load(QStringLiteral(":Ratelens_ja_JP"), QCoreApplication::applicationDirPath(),
                        QString(), QString());
        QCoreApplication::installTranslator(&translator);
    }

    Body body;
    QObject::connect(&body, SIGNAL(quit()), &app, SLOT(closeAllWindows()));
    body.show();
    return app.exec();
}
