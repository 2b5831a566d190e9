#pragma once
// The About window: the program's title and version, a mark on beta builds, and a button that
// starts the system information tool named in the registry.
#include <QDialog>

class QLabel;
class QPushButton;

// Version parts of the program, major.minor.revision.
struct CVersion {
    int Major = QORVLOG_VERSION_MAJOR;
    int Minor = QORVLOG_VERSION_MINOR;
    int Revision = QORVLOG_VERSION_PATCH;
};

class FAbout : public QDialog {
    Q_OBJECT
public:
    explicit FAbout(QWidget* owner = nullptr, CVersion version = {});

    // Starts the system information tool, or says that there is none.
    void StartSysInfo();

private:
    void Form_Load(const CVersion& version);

    QLabel* lblTitle = nullptr;
    QLabel* lblProduct = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblBetaVersion = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
};
