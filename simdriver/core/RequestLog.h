// The driver's log of the requests it received, oldest first, bounded: a ring whose
// storage is reserved once, so that logging a request never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace simdriver {

using ConnectionId = std::uint32_t;

struct LogEntry {
    ConnectionId connection = 0;
    std::uint32_t code = 0;
    std::uint32_t status = 0;
};

class RequestLog {
public:
    // Walks the entries from the oldest to the newest.
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = LogEntry;
        using difference_type = std::ptrdiff_t;
        using pointer = const LogEntry*;
        using reference = const LogEntry&;

        Iterator() = default;
        Iterator(const RequestLog* log, std::size_t index) : m_log(log), m_index(index) {}
        reference operator*() const { return (*m_log)[m_index]; }
        pointer operator->() const { return &(*m_log)[m_index]; }
        Iterator& operator++() {
            ++m_index;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++m_index;
            return before;
        }
        bool operator==(const Iterator& other) const { return m_index == other.m_index; }

    private:
        const RequestLog* m_log = nullptr;
        std::size_t m_index = 0;
    };

    // Keeps the newest `capacity` entries (at least one).
    explicit RequestLog(std::size_t capacity) : m_capacity(capacity ? capacity : 1) {
        m_entries.reserve(m_capacity);
    }

    void Append(const LogEntry& entry) {
        if (m_entries.size() < m_capacity) {
            m_entries.push_back(entry);
            return;
        }
        m_entries[m_oldest] = entry;  // the oldest entry gives way
        if (++m_oldest == m_capacity) m_oldest = 0;
    }

    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    // The i-th entry from the oldest.
    const LogEntry& operator[](std::size_t i) const {
        std::size_t at = m_oldest + i;
        return m_entries[at < m_entries.size() ? at : at - m_entries.size()];
    }
    const LogEntry& front() const { return (*this)[0]; }
    const LogEntry& back() const { return (*this)[size() - 1]; }
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, size()); }

    // Forgets every entry and keeps the storage.
    void clear() {
        m_entries.clear();
        m_oldest = 0;
    }

private:
    std::size_t m_capacity;
    std::vector<LogEntry> m_entries;  // reserved to m_capacity once
    std::size_t m_oldest = 0;         // index of the oldest entry once the ring is full
};

}  // namespace simdriver
