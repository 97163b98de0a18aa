#include "ui/AboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "core/Version.h"

namespace kestrom {

CAboutDlg::CAboutDlg(const QIcon& icon, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Kestrom"));
    auto* picture = new QLabel(this);
    picture->setPixmap(icon.pixmap(48, 48));
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(QStringLiteral("Kestrom"), this));
    texts->addWidget(
        new QLabel(QStringLiteral("Version: %1%2")
                       .arg(QString::fromLatin1(kKestromVersion.data(),
                                                static_cast<qsizetype>(kKestromVersion.size())),
                            QString()),
                   this));
    texts->addWidget(
        new QLabel(QStringLiteral("Released : %1").arg(QLatin1String(kReleaseDate)), this));
    texts->addWidget(new QLabel(
        QStringLiteral("Data exchange server for athletics meets: event files, results, start "
                       "lists and finish pictures for the devices around the track."),
        this));
    texts->itemAt(texts->count() - 1)->widget()->setProperty("wordWrap", true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QGridLayout(this);
    layout->addWidget(picture, 0, 0, Qt::AlignTop);
    layout->addLayout(texts, 0, 1);
    layout->addWidget(buttons, 1, 0, 1, 2);
    setFixedWidth(380);
}

}  // namespace kestrom
