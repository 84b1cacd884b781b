// CShowData: the list interface shared by every list the user browses.
//
// A list is a sequence of rows (classifier nodes or documents) that a list window shows: it
// counts its rows, gives each row's text, number, description and mark, sorts, opens a row, and
// carries the criteria of the last search started from it. CShowClass (a classifier level),
// CShowDoc (a list of documents) and CListDocDoc (the model of a list window) implement it.
//
// Ownership: lists are created with std::make_shared and handed around as ShowDataPtr; a list
// lives as long as a holder keeps it. Rows are indexed from 0; an index at or beyond Count() is
// harmless (empty text, number -1, mark false, no change).
// Threads: user-interface thread only. Nothing here throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "showdata/SearchRequest.h"

namespace ShowData {

class CShowData;
struct DocItem;
using ShowDataPtr = std::shared_ptr<CShowData>;

class CShowData {
public:
    CShowData() = default;
    CShowData(const CShowData&) = delete;
    CShowData& operator=(const CShowData&) = delete;

    // Reorders the rows by key (0 date, 1 title, 2 type, 3 number text) in the given direction.
    virtual void Sort(int key, bool descending) = 0;
    virtual int Count() = 0;
    // The row's display text.
    virtual std::string GetText(unsigned index) = 0;
    // The row's document number (sign-extended), or -1.
    virtual int GetNumber(unsigned index);
    // The document a row shows (its date and status), or null for a classifier row or an index out
    // of range. Valid until the list changes.
    virtual const DocItem* GetDocRow(unsigned index);
    // Loads the list for node id under the display name name.
    virtual void SetParent(int id, const std::string& name);
    // Opens a row: a new list, or null when opening shows something else (a document text).
    virtual ShowDataPtr Open(unsigned index) = 0;
    // The window title of the list.
    virtual std::string GetTitle();
    // A short description of the row.
    virtual std::string GetName(unsigned index) = 0;
    // True when the rows are classifier nodes.
    virtual bool IsFolder() = 0;
    // Opens the attribute search for this list.
    virtual void Find() = 0;
    virtual ~CShowData() = default;
    // The row's mark (visited); false for an index out of range.
    virtual bool GetMark(unsigned index) = 0;
    virtual void SetMark(unsigned index, bool value) = 0;

    // The classifier node whose content the list shows (set by SetParent; 0 before).
    std::int32_t id() const { return m_id; }
    // The list's display name (set by SetParent; empty before).
    const std::string& name() const { return m_name; }
    // The criteria of the last search started from this list.
    SearchRequest& request() { return m_request; }
    const SearchRequest& request() const { return m_request; }

protected:
    std::int32_t m_id = 0;
    std::string m_name;
    SearchRequest m_request;
};

}  // namespace ShowData
