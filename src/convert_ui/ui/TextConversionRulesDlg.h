// "Text Conversion Rules": a tree of topics and, beside it, either the page
// of a worked example (a leaf) or a short text inviting a sub-topic.
#pragma once

#include <QDialog>
#include <map>

class QLabel;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

extern bool g_bRulesShown;

class CTextConversionRulesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTextConversionRulesDlg(QWidget* parent = nullptr);

    // Selects, shows and expands a topic, and shows the dialog.
    void ShowTopic(int code);
    // Shows the dialog on the topic last selected.
    void ShowRules();

    QTreeWidget* Tree() const { return m_tree; }
    QLabel* TextPage() const { return m_text; }
    // The page now shown (the text page or a picture page).
    QWidget* CurrentPage() const;
    int CurrentTopic() const;

protected:
    void reject() override;
    void accept() override;

private:
    void ShowTopicText();
    QTreeWidget* m_tree = nullptr;
    QStackedWidget* m_pages = nullptr;
    QLabel* m_text = nullptr;
    std::map<int, QTreeWidgetItem*> m_items;
    std::map<int, QWidget*> m_pictures;  // by topic code
};
