#include "dialog/fabout.h"

#include "common/environment.h"
#include "config/bregistry.h"
#include "dialog/warn.h"
#include "platform/files.h"
#include "platform/process.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

FAbout::FAbout(QWidget* owner, CVersion version) : QDialog(owner) {
    setObjectName(QStringLiteral("FAbout"));
    auto* logo = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_LargeIconSize) * 2;
    logo->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(side));
    logo->setAlignment(Qt::AlignTop);
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse); // to copy into a support mail
        return l;
    };
    lblTitle = label("lblTitle");
    QFont title = lblTitle->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.5);
    lblTitle->setFont(title);
    lblProduct = label("lblProduct");
    lblVersion = label("lblVersion");
    lblBetaVersion = label("lblBetaVersion");
    lblBetaVersion->setText(QStringLiteral("BETA VERSION"));
    QFont beta = lblBetaVersion->font();
    beta.setBold(true);
    lblBetaVersion->setFont(beta);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &FAbout::StartSysInfo);

    auto* grid = new QGridLayout(this);
    grid->addWidget(logo, 0, 0, 4, 1);
    grid->addWidget(lblTitle, 0, 1);
    grid->addWidget(lblProduct, 1, 1);
    grid->addWidget(lblVersion, 2, 1);
    grid->addWidget(lblBetaVersion, 3, 1);
    grid->addWidget(line, 4, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    grid->addLayout(buttons, 5, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load(version);
}

void FAbout::Form_Load(const CVersion& version) {
    setWindowTitle(QStringLiteral("About ") + gEnv.m_sAppTitle);
    lblBetaVersion->setVisible(GetMachineKeyValue(ProductKey(), QStringLiteral("BetaVersion")) ==
                               QLatin1String("1"));
    lblTitle->setText(gEnv.m_sProductName);
    lblProduct->setText(gEnv.m_sAppTitle + QLatin1Char(' ') + QString::number(version.Major) +
                        QLatin1Char('.') + QString::number(version.Minor) + QLatin1Char('.') +
                        QString::number(version.Revision));
    QString file = QStringLiteral("File Version: ") + QString::number(version.Major) +
                   QLatin1Char('.') +
                   QStringLiteral("%1").arg(version.Minor, 2, 10, QLatin1Char('0'));
    if (version.Revision != 0)
        file +=
            QLatin1Char('.') + QStringLiteral("%1").arg(version.Revision, 4, 10, QLatin1Char('0'));
    lblVersion->setText(file);
}

void FAbout::StartSysInfo() {
    QString program;
    if (!GetKeyValue(kLocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                     QStringLiteral("PATH"), program)) {
        QString folder;
        if (!GetKeyValue(kLocalMachine,
                         QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                         QStringLiteral("MSINFO"), folder)) {
            Warn(QStringLiteral("System Info is not available."));
            return;
        }
        if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
        program = folder + QStringLiteral("msinfo32");
    }
    // Only a full path: the program's current folder means nothing.
    if (!program.startsWith(QLatin1Char('/')) || !Platform::IsFile(program) ||
        !Platform::StartProgram(program))
        Warn(QStringLiteral("System Info is not available."));
}
