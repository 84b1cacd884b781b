#include "app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "Version.h"
#include "app/Resources.h"

namespace Norik {

QString CAboutDlg::VersionText() {
    return QString::fromUtf8(Version::kCopyright) + QLatin1Char('\n') + QString::fromUtf8(Version::kDescription) +
           QLatin1Char(' ') + QString::fromUtf8(Version::kVersion);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("О программе"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap(QStringLiteral(":/about/about.png")));
    picture->setAccessibleName(QStringLiteral("Эмблема программы"));

    const QString baseName = LoadTextResource(QStringLiteral("IDS_BASE_NAME"));
    auto* baseNameLabel = new QLabel(baseName, this);
    baseNameLabel->setObjectName(QStringLiteral("baseName"));
    baseNameLabel->setWordWrap(true);
    baseNameLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont nameFont = baseNameLabel->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.25);
    baseNameLabel->setFont(nameFont);

    auto* versionLabel = new QLabel(VersionText(), this);
    versionLabel->setObjectName(QStringLiteral("versionText"));
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("Да"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    ok->setMinimumWidth(ok->fontMetrics().horizontalAdvance(QStringLiteral("Да")) * 4);
    buttons->setCenterButtons(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 10, 12, 12);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(12);
    grid->addWidget(picture, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(baseNameLabel, 0, 1);
    grid->addWidget(versionLabel, 1, 0, 1, 2);
    grid->addWidget(buttons, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace Norik
