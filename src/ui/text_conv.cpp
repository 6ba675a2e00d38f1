#include "ui/text_conv.h"

#include "filter/mail_decoder.h"

#include "app/core/filter_app.h"
#include "store/english_texts.h"

#include <QStringDecoder>

QString ToQString(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text =
        decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!decoder.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string FromQString(const QString& text) {
    return text.toUtf8().toStdString();
}

QString ShownText(const std::string& bytes) {
    QString text = ToQString(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::string LocalBytes(CFilterApp& app, int textId) {
    return app.GetLocalizedText(textId, EnglishDefault(textId));
}

QString LocalText(CFilterApp& app, int textId) {
    return ShownText(LocalBytes(app, textId));
}

QString ShownHeaderText(const std::string& value) {
    // Most values hold no encoded word: no decoder needed for them.
    if (value.find("=?") == std::string::npos)
        return ToQString(value);
    return QString::fromStdString(DecodeHeaderText(value));
}
