#include "Rules.h"

#include "Rule.h"

#include <vector>

namespace {

// Over the rules as they were when the enumeration began; each comes out as the IDispatch of
// a rule bound to the store, as Microsoft's own enumeration sample reads them.
class RuleEnum : public Object<IEnumVARIANT>
{
public:
    RuleEnum(const std::vector<StoredRule> &rules, size_t next) : Rules(rules), Next_(next) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT *items, ULONG *fetched) override
    {
        if (items == NULL || (fetched == NULL && wanted != 1))
            return E_POINTER;
        ULONG given = 0;
        for (; given < wanted && Next_ < Rules.size(); given++, Next_++)
        {
            VariantInit(&items[given]);
            V_VT(&items[given]) = VT_DISPATCH;
            V_DISPATCH(&items[given]) = new Rule(Rules[Next_].Id, Rules[Next_].Data);
        }
        if (fetched != NULL)
            *fetched = given;
        return given == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        bool all = count <= Rules.size() - Next_;
        Next_ = all ? Next_ + count : Rules.size();
        return all ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        Next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT **copy) override
    {
        if (copy == NULL)
            return E_POINTER;
        *copy = new RuleEnum(Rules, Next_);
        return S_OK;
    }

private:
    std::vector<StoredRule> Rules;
    size_t Next_;
};

class Rules : public Dispatch<INetFwRules>
{
public:
    HRESULT STDMETHODCALLTYPE get_Count(LONG *count) override
    {
        if (count == NULL)
            return E_POINTER;
        std::vector<StoredRule> rules;
        LONG result = ReadRules(&rules);
        *count = (LONG)rules.size();
        return HRESULT_FROM_WIN32(result);
    }

    // Names need not be unique: each Add keeps one more rule, under an id of its own. The same
    // object twice is refused, as Microsoft documents.
    HRESULT STDMETHODCALLTYPE Add(INetFwRule *given) override
    {
        Rule *rule = NULL;
        if (given == NULL || FAILED(given->QueryInterface(IidStandInRule, (void **)&rule)))
            return E_INVALIDARG;
        HRESULT result = S_OK;
        GUID guid;
        wchar_t id[40];
        LONG written;
        if (!rule->Id.empty())
            result = E_UNEXPECTED;
        else if (rule->Data.Name.empty())
            result = E_INVALIDARG;
        else if (FAILED(result = CoCreateGuid(&guid)) || StringFromGUID2(guid, id, 40) == 0)
            result = FAILED(result) ? result : E_UNEXPECTED;
        else if ((written = WriteRule(id, rule->Data)) != ERROR_SUCCESS)
            result = HRESULT_FROM_WIN32(written);
        else
            rule->Id = id;
        rule->Release();
        return result;
    }

    // One rule per call, the first of the name; none of the name is no failure.
    HRESULT STDMETHODCALLTYPE Remove(BSTR name) override
    {
        StoredRule found;
        HRESULT result = Find(name, &found);
        if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
            return S_OK;
        if (FAILED(result))
            return result;
        // HRESULT_FROM_WIN32 is a macro that names its argument twice.
        LONG deleted = DeleteRule(found.Id);
        return HRESULT_FROM_WIN32(deleted);
    }

    HRESULT STDMETHODCALLTYPE Item(BSTR name, INetFwRule **rule) override
    {
        if (rule == NULL)
            return E_POINTER;
        *rule = NULL;
        StoredRule found;
        HRESULT result = Find(name, &found);
        if (SUCCEEDED(result))
            *rule = new Rule(found.Id, found.Data);
        return result;
    }

    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown **items) override
    {
        if (items == NULL)
            return E_POINTER;
        *items = NULL;
        std::vector<StoredRule> rules;
        LONG result = ReadRules(&rules);
        if (result == ERROR_SUCCESS)
            *items = new RuleEnum(rules, 0);
        return HRESULT_FROM_WIN32(result);
    }

private:
    // Names compare exactly: Microsoft documents no folding of case.
    static HRESULT Find(BSTR name, StoredRule *found)
    {
        if (name == NULL)
            return E_INVALIDARG;
        std::vector<StoredRule> rules;
        LONG result = ReadRules(&rules);
        if (result != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(result);
        for (size_t i = 0; i < rules.size(); i++)
            if (rules[i].Data.Name == name)
            {
                *found = rules[i];
                return S_OK;
            }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
};

}  // namespace

INetFwRules *NewRules()
{
    return new Rules();
}
