// The quick-search line of the tool bar: an editable combo box whose list holds the last 20
// queries run (the newest first, each once), kept in the settings given. Enter runs the text
// typed (queryEntered), never completed from the list, and puts it at the head of the list. While the index is being
// prepared the empty line says so with how far it has got (SetPreparing). The line is at least as wide as its
// placeholders and takes its share of a wider tool bar. User-interface thread only.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

class QSettings;

namespace Norik {

class QuickSearchLine : public QComboBox {
    Q_OBJECT
public:
    static constexpr int kKeptQueries = 20;

    // settings (may be null: nothing kept) must outlive the line.
    explicit QuickSearchLine(QSettings* settings, QWidget* parent = nullptr);

    QStringList queries() const;
    // Puts query at the head of the kept queries.
    void Remember(const QString& query);
    // The index is being prepared, percent done; negative: it is ready.
    void SetPreparing(int percent);
    void SetUnavailable(const QString& why);

signals:
    void queryEntered(const QString& query);

protected:
    void changeEvent(QEvent* event) override;

private:
    // The least width that shows every placeholder whole, in the line's font.
    void FitPlaceholders();
    void Save() const;

    QSettings* m_settings;
};

}  // namespace Norik
