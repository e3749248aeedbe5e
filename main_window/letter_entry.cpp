// The company letter: what the entry keeps while it is typed, and the selection of the company
// when a check starts.

#include "main.h"

#include "letter_filter.h"
#include "message_box.h"
#include "one_line.h"
#include "plain_label.h"
#include "window_units.h"

#include <company_letter.h>
#include <fresh_objects.h>

#include <QLineEdit>

namespace {

// Background colours of txtLetter for the outcomes of a selection.
constexpr quint32 letterNeutral = 0x00FFFFFF;
constexpr quint32 letterNotValid = 0x00B0D0FF;
constexpr quint32 letterNoDatabase = 0x00D0D0FF;
constexpr quint32 letterFound = 0x00E0FFE0;

} // namespace

void Main::txtLetter_Change()
{
    const QString text = txtLetter->text();
    const QString kept = filteredLetter(text);
    // Writing back only a changed text is what keeps this handler from raising itself again.
    if (kept != text)
        txtLetter->setText(kept);
}

bool Main::SelectCompany(const QString &letter)
{
    setColour(txtLetter, QPalette::Base, letterNeutral);
    if (!Norlix::isCompanyLetter(letter)) {
        setColour(txtLetter, QPalette::Base, letterNotValid);
        lblCoName->setCaption(QString());
        MessageBox::show(
            this, QStringLiteral("Company letter not valid. Must be A or B or C, etc"));
        return false;
    }

    freshCompanyDatabase()->CompanyLetter(letter);
    const QString location = freshCompanyDatabase()->DatabaseLocation();
    const QString fileName = freshCompanyDatabase()->DatabaseFileName();
    if (freshCompanyDatabase()->FileExists(location + fileName)) {
        // The name's label holds one line: a break stored in the name would hide the rest of it.
        lblCoName->setCaption(
            onOneLine(freshCompanyDatabase()->CompanySetting(QStringLiteral("Companyname"))));
        setColour(txtLetter, QPalette::Base, letterFound);
        return true;
    }

    setColour(txtLetter, QPalette::Base, letterNoDatabase);
    lblCoName->setCaption(QString());
    MessageBox::show(this, QStringLiteral("Cannot find database for Company ") + letter);
    return false;
}
