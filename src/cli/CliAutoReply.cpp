#include "cli/CliAutoReply.h"

#include "app/ChatCore.h"
#include "cli/CliOptions.h"
#include "features/AutoReplyUn.h"
#include "talks/AutoAnswer.h"

bool ApplyCliAutoReply(ChatCore &core, const CliOptions &options, QString *error)
{
    if (!options.autoReply.isEmpty()) {
        core.autoAnswer()->setFixedAnswer(AnsweringmachineText::Variant{options.autoReply, QString()});
        return true;
    }
    const QString name = options.autoReplyVariant.trimmed();
    if (name.isEmpty())
        return true;
    AutoReply *state = core.autoReply();
    // As the menu does: the variants as the settings file lists them, then a pick.
    const QList<AutoReplyMenuItem> variants = state->Refresh(QString()).variants;
    bool isNumber = false;
    const int number = name.toInt(&isNumber);
    for (int i = 0; i < variants.size(); ++i) {
        const AutoReplyMenuItem &variant = variants.at(i);
        if (variant.caption.trimmed().compare(name, Qt::CaseInsensitive) == 0 ||
            (isNumber && variant.section == AnsweringmachineText::SectionName(number))) {
            return state->Pick(i);
        }
    }
    if (error)
        *error = QStringLiteral("the settings file has no auto-reply variant %1").arg(name);
    return false;
}
