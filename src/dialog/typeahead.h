#pragma once
// Type-ahead for the entry rows: while the user types in a row, the entries of its list that
// contain the typed text (letter case ignored) are offered in a popup under the field.
#include <QAbstractListModel>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <vector>

class QComboBox;
class QListView;
class QWidget;

// The entries of one list and those among them that contain the typed text.
class CTypeAheadModel : public QAbstractListModel {
public:
    void SetEntries(const QStringList& entries);
    // Keeps the entries that contain text, letter case ignored; returns how many.
    int Filter(const QString& text);
    // Position in the entries of a matching row.
    int Source(int row) const { return m_matches[size_t(row)]; }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QStringList m_entries;
    std::vector<QString> m_folded;
    std::vector<int> m_matches;
    QString m_needle; // folded text of the last filter
    bool m_filtered = false;
};

// One popup per window, serving whichever row is being typed in. It never takes the focus:
// the keys stay with the field, which forwards Up, Down, Enter and Esc here.
class CTypeAhead : public QObject {
    Q_OBJECT
public:
    explicit CTypeAhead(QWidget* window);
    // Offers the entries of the field's list that contain text, the first highlighted; hides
    // when the text is empty or nothing matches.
    void Update(QComboBox* field, const QString& text);
    void Hide();
    // Forgets the field's entries (its list was rebuilt or the field is gone).
    void Reset();
    bool IsShown() const;
    // Moves the highlight by step rows; false when the popup is hidden.
    bool Move(int step);
    // Puts the highlighted entry into the field; false when the popup is hidden.
    bool Take();
    QListView* Popup() const { return m_popup; }

Q_SIGNALS:
    // An entry was put into the field.
    void Taken(QComboBox* field);

private:
    void Place();

    QWidget* m_window;
    QListView* m_popup;
    CTypeAheadModel m_model;
    QPointer<QComboBox> m_field;
    bool m_loaded = false;
};
