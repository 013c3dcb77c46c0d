// Enumerators over a snapshot taken when the enumeration starts (connection
// points of a container, connections of a point). Clones share the snapshot
// and start at the original's position.
#pragma once

#include <windows.h>

#include <ocidl.h>

#include <memory>
#include <span>
#include <vector>

#include "framework/cmd_target.h"

// Traits: Stored is what the snapshot keeps, Item what Next hands out (with
// a reference the caller releases).
template <class EnumInterface, const IID& EnumIid, class Traits>
class CEnumerator final : public ComObjectRoot<EnumInterface> {
public:
    using Stored = typename Traits::Stored;
    using Item = typename Traits::Item;
    using Snapshot = std::shared_ptr<const std::vector<Stored>>;

    explicit CEnumerator(Snapshot items, size_t position = 0) : m_items(std::move(items)), m_position(position) {}

    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (count == 0) return S_OK;
        // Only a request for one item may leave out the fetched count.
        if (!out || (!fetched && count != 1)) return E_POINTER;
        ULONG copied = 0;
        while (copied < count && m_position < m_items->size()) {
            out[copied++] = Traits::Copy((*m_items)[m_position++]);
        }
        if (fetched) *fetched = copied;
        return copied == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override {
        const size_t left = m_items->size() - m_position;
        if (count > left) {
            m_position = m_items->size();
            return S_FALSE;
        }
        m_position += count;
        return S_OK;
    }

    STDMETHODIMP Reset() override {
        m_position = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(EnumInterface** clone) override {
        if (!clone) return E_POINTER;
        *clone = nullptr;
        try {
            return CreateComObject<CEnumerator>(EnumIid, reinterpret_cast<void**>(clone), m_items, m_position);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

private:
    std::span<const InterfaceEntry> GetInterfaceTable() const override {
        static constexpr InterfaceEntry table[] = {InterfaceOf<CEnumerator, EnumInterface>(EnumIid)};
        return table;
    }

    Snapshot m_items;
    size_t m_position;
};

struct ConnectionPointItems {
    using Stored = Microsoft::WRL::ComPtr<IConnectionPoint>;
    using Item = IConnectionPoint*;
    static Item Copy(const Stored& point) {
        point->AddRef();
        return point.Get();
    }
};
using CEnumConnectionPoints = CEnumerator<IEnumConnectionPoints, IID_IEnumConnectionPoints, ConnectionPointItems>;

struct ConnectionItems {
    struct Stored {
        DWORD cookie;
        Microsoft::WRL::ComPtr<IUnknown> sink;
    };
    using Item = CONNECTDATA;
    static Item Copy(const Stored& connection) {
        connection.sink->AddRef();
        return CONNECTDATA{connection.sink.Get(), connection.cookie};
    }
};
using CEnumConnections = CEnumerator<IEnumConnections, IID_IEnumConnections, ConnectionItems>;
