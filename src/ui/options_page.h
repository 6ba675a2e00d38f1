#pragma once
// The options page: what happens to mail from a new sender (the learned
// score may decide), training the learned score from a folder, the size limit,
// the mail life time, judging each message once and the forbidden extensions, written into the
// application only by "Save Settings"; and three commands: "Check Now",
// "History Report" and "Compact Data Files".
#include <QWidget>
#include <memory>
#include <vector>

class CFilterApp;
class CHistoryDialog;
class CMainDialog;
class CLearnRunner;
class CDialogUnits;
class QComboBox;
class QTabBar;
class QButtonGroup;
class QProgressBar;
class QRadioButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class COptionsPage : public QWidget {
    Q_OBJECT
  public:
    COptionsPage(CFilterApp& app, CMainDialog* mainDialog, QWidget* parent);
    ~COptionsPage() override;

    CHistoryDialog* HistoryDialog() const { return historyDialog_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void BuildControls();
    void BuildDesktopTab(const CDialogUnits& du, QWidget* tab);
    void LoadLanguages();
    void ShowTab(int index);
    void SaveDesktopSettings();
    void LoadFields();
    void AddExtension();
    void DeleteExtensions();
    void SaveSettings();
    void CompactDataFiles();
    void UpdateNote();
    void LearnFromMail(bool spam, bool mbox);
    void Localize();

    CFilterApp& app_;
    QButtonGroup* newSenderActions_;
    QLabel* note_;
    QLineEdit* sizeEdit_;
    QLineEdit* lifeTimeEdit_;
    QCheckBox* judgeOnce_;
    QCheckBox* dryRun_;
    QLineEdit* binDaysEdit_;
    QLineEdit* binSizeEdit_;
    QLineEdit* extensionEdit_;
    QPushButton* addExtension_;
    QPushButton* deleteExtensions_;
    QListWidget* extensions_;
    CHistoryDialog* historyDialog_;
    QRadioButton* decideByLearned_;
    QPushButton* learn_;
    QProgressBar* learnProgress_;
    std::unique_ptr<CLearnRunner> learnRunner_;
    CMainDialog* mainDialog_;
    QTabBar* tabs_;
    std::vector<QWidget*> mailControls_, desktopControls_;
    QCheckBox* showTray_;
    QCheckBox* notifyQuestions_;
    QCheckBox* notifyDeletions_;
    QCheckBox* notifyLoginFailures_;
    QCheckBox* autostart_;
    QComboBox* language_;
};
