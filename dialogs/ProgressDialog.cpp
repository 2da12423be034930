#include "dialogs/ProgressDialog.h"

#include "session/BaseProcedure.h"
#include "session/Session.h"

#include <QCloseEvent>
#include <QDebug>
#include <QKeyEvent>

ProgressDialog::ProgressDialog(const QString& title, QWidget* parent)
    : QProgressDialog(parent) {
    qDebug() << "> Creating" << this << title;
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint);
    setWindowTitle(title);
    setMinimumWidth(500);
    // Deletion, not the value, ends the dialog: it keeps showing 100 until its procedure has ended.
    setAutoReset(false);
    setAutoClose(false);
    setRange(0, 0);
    setValue(0);
    setModal(true);
    setCancelButton(nullptr);
}

ProgressDialog::~ProgressDialog() {
    qDebug() << "> Deleting" << this;
}

void ProgressDialog::end() {
    // Hidden at once: the box reporting the result is posted by now and must not open over it.
    hide();
    deleteLater();
}

void ProgressDialog::bindToSession(Session* session) {
    connect(session, &ISession::procedureCanceled, this, &ProgressDialog::end);
    connect(session, &ISession::procedureFinished, this, &ProgressDialog::end);
    connect(session, &Session::closed, this, &ProgressDialog::end);
    connect(session, &QObject::destroyed, this, &ProgressDialog::end);
    // Queued: on a visible modal dialog setValue() processes events, which must not happen inside
    // the sample handler that reported the progress.
    connect(session, &Session::procedureProgressChanged, this, &ProgressDialog::onProgressChanged,
            Qt::QueuedConnection);
}

void ProgressDialog::bindToProcedure(BaseProcedure* procedure) {
    connect(procedure, &BaseProcedure::canceled, this, &ProgressDialog::end);
    connect(procedure, &BaseProcedure::finished, this, &ProgressDialog::end);
    connect(procedure, &QObject::destroyed, this, &ProgressDialog::end);
    connect(procedure, &BaseProcedure::progressChanged, this, &ProgressDialog::onProgressChanged,
            Qt::QueuedConnection);
}

ProgressDialog* ProgressDialog::runSessionCommand(Session* session, SessionCommand command,
                                                  const QString& title, QWidget* parent) {
    if (!session || !(session->*command)())
        return nullptr;
    auto* dialog = new ProgressDialog(title, parent);
    dialog->bindToSession(session);
    dialog->show();
    return dialog;
}

void ProgressDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QProgressDialog::keyPressEvent(event);
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
    // Only the end of the procedure closes the dialog, never the user.
    event->ignore();
}

void ProgressDialog::onProgressChanged(int progress) {
    if (maximum() != 100)
        setRange(0, 100);
    setValue(progress);
}
