#pragma once

#include <QProgressDialog>
#include <QString>

class BaseProcedure;
class Session;

// The modal window shown while a press procedure runs: a busy indicator until the first progress
// value arrives, then a percentage. It has no cancel or close button, ignores Esc, and when what it is
// bound to ends it closes at once and deletes itself (deferred).
class ProgressDialog : public QProgressDialog {
    Q_OBJECT
public:
    // A session command: starts a procedure and says whether it did.
    using SessionCommand = bool (Session::*)();

    ProgressDialog(const QString& title, QWidget* parent = nullptr);
    ~ProgressDialog() override;

    // Follows the session's procedure: closes when it finishes or is cancelled, and when the
    // session closes or is destroyed.
    void bindToSession(Session* session);
    // Follows one procedure: closes when it finishes, is cancelled or is destroyed.
    void bindToProcedure(BaseProcedure* procedure);

    // Runs the command on the session and, only when the session took it on, shows a progress
    // dialog bound to the session. Returns that dialog, or null when the command was refused.
    static ProgressDialog* runSessionCommand(Session* session, SessionCommand command, const QString& title,
                                             QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onProgressChanged(int progress);
    // Closes the dialog now and deletes it from the event loop.
    void end();
};
