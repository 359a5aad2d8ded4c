#include "installwindow.h"

#include "fonts.h"
#include "installer.h"
#include "twips.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace kelmar {

namespace {

// Geometry in twips.
constexpr int ClientWidth = 3525;
constexpr int ClientHeight = 1935;
constexpr TwipsPlace Command1Place{240, 360, 2895, 975};
constexpr double Command1Points = 24;
// Translated where shown: these are made before any translator is loaded.
const char *const Title = QT_TRANSLATE_NOOP("kelmar::InstallWindow", "INSTALL(安裝)");
const char *const Command1Caption = QT_TRANSLATE_NOOP("kelmar::InstallWindow", "安裝");
// The button face is green: red 0, green 192, blue 0.
const QString Command1Style = QStringLiteral(
    "QPushButton { background-color: rgb(0, 192, 0); border: 2px outset rgb(0, 144, 0); }"
    "QPushButton:pressed { border-style: inset; }");

} // namespace

InstallWindow::InstallWindow(Installer &installer, QWidget *parent)
    : QWidget(parent), m_installer(installer)
{
    setWindowTitle(tr(Title));
    setFixedSize(px(ClientWidth), px(ClientHeight));
    Command1 = new QPushButton(tr(Command1Caption), this);
    Command1->setGeometry(twipsRect(Command1Place));
    Command1->setFont(designFont(FontKai, Command1Points, true));
    Command1->setStyleSheet(Command1Style);
    connect(Command1, &QPushButton::clicked, this, &InstallWindow::Command1_Click);
}

void InstallWindow::Command1_Click()
{
    // The steps run once per start of the installer.
    Command1->setEnabled(false);
    const QStringList failed = failureLines(m_installer.run());
    if (failed.isEmpty()) {
        emit ended();
        return;
    }
    // Shown without a nested event loop; the installer ends when it closes.
    m_failureBox = new QMessageBox(QMessageBox::Warning, tr(Title),
                                   tr("安裝未完成。下列步驟失敗：\n"
                                      "The installation is not complete. These steps "
                                      "failed:\n\n%1")
                                       .arg(failed.join(u'\n')),
                                   QMessageBox::Ok, this);
    m_failureBox->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_failureBox, &QMessageBox::finished, this, [this] {
        m_failureBox = nullptr;
        emit ended();
    });
    m_failureBox->open();
}

} // namespace kelmar
