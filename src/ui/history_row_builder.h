#pragma once
// Builds the viewer's rows for one fill: the five cell texts of each listed
// record and the widths its columns must grow to. Texts that repeat (dates,
// senders, statuses, reasons) are converted, looked up and measured once
// per fill, so that a history of a hundred thousand records lists quickly.
#include "ui/history_model.h"
#include "ui/history_rules.h"

#include <QFontMetrics>
#include <array>
#include <optional>
#include <string>
#include <unordered_map>

class CFilterApp;

class CHistoryRowBuilder {
  public:
    using Widths = std::array<int, CHistoryModel::kColumns>;

    CHistoryRowBuilder(CFilterApp& app, const QFont& font, HistoryMode mode,
                       const LocalDateTime& d1, const LocalDateTime& d2);

    // False when the date rule leaves the record out. Otherwise fills `row`
    // and raises each of `widths` (width values: 3/2 of a text's pixel
    // width) to what the row's cells need.
    bool Build(const std::shared_ptr<const HistoryEntry>& entry, HistoryRow& row, Widths& widths);

  private:
    struct Measured {
        QString Text;
        int Width = 0;
    };
    struct Dated {
        Measured Shown;
        std::optional<LocalDateTime> Value;
    };

    Measured Measure(QString text) const;
    const Measured& Reason(const std::string& code);
    int WidthOfUnique(const QString& text, int current);

    CFilterApp& app_;
    QFontMetrics metrics_;
    HistoryMode mode_;
    LocalDateTime d1_, d2_;
    Measured kept_, deleted_, wouldBeDeleted_;
    std::unordered_map<std::string, Dated> dates_;
    std::unordered_map<std::string, Measured> senders_, reasons_;
    std::array<int, 256> advances_; // single-character advances, -1 until needed
};
