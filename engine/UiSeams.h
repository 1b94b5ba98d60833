#pragma once
#include <string>

// Modal boxes as the core asks for them; texts are UTF-8. QMessageBox in the program,
// a scripted answerer in tests.
class IMessages {
public:
    virtual ~IMessages() = default;
    virtual void error(const std::string& text) = 0;
    virtual void info(const std::string& text) = 0;
    // Yes/No question with the question icon; true means Yes.
    virtual bool question(const std::string& text) = 0;
};

class LoggerTable;

// What the logger table tells the logger list; the list view carries it out on the rows.
class IRowNotifications {
public:
    virtual ~IRowNotifications() = default;
    virtual void buildRows(const LoggerTable& table) = 0;
    virtual void removeRows() = 0;
    virtual void clearRowValues() = 0;
};
