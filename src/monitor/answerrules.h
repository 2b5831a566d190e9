#pragma once
// What a user may answer for a job: category values only, each keeping its category's rules
// as the job window checks them.
#include <QString>
#include <QStringList>

// Why the values of a data file cannot be billed for a job of the printer group that the
// queue's driver (makeAndModel) belongs to: the first value that names no category of the
// group or breaks its category's rules, a category left without a value; "" when none.
QString BrokenAnswer(const QStringList& dataLines, const QString& makeAndModel);
