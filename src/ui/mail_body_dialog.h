#pragma once
// "Mail Body": the stored body of one history record, read-only.
#include <QDialog>

class CFilterApp;
class QPlainTextEdit;

class CMailBodyDialog : public QDialog {
    Q_OBJECT
  public:
    CMailBodyDialog(CFilterApp& app, QWidget* parent);

    // Shows `text` modally until "OK"; `score`: what the learned score says
    // of the mail (empty: nothing).
    int Run(const QString& text, const QString& score = {});
    void SetText(const QString& text);
    void SetScore(const QString& score);
    QString Text() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Localize();

    CFilterApp& app_;
    QPlainTextEdit* body_;
    class QLabel* score_;
};
