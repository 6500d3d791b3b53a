// A stand-in for the Firebird client library that has every entry point the
// data-access layer resolves, and nothing behind them: the loading code only
// looks the names up, and the real fbclient.dll cannot run here.
//
// Built a second time with CONTARDC_STUB_NEEDS_HELPER, it imports from
// stub_helper.dll, as the real client needs the runtime libraries shipped
// beside it: it loads only where that library is found.

#ifdef CONTARDC_STUB_NEEDS_HELPER
extern "C" __declspec(dllimport) int contardc_stub_helper();
#define CONTARDC_STUB_ENTRY(name) \
    extern "C" __declspec(dllexport) int name() { return contardc_stub_helper(); }
#else
#define CONTARDC_STUB_ENTRY(name) \
    extern "C" __declspec(dllexport) int name() { return 0; }
#endif

CONTARDC_STUB_ENTRY(isc_attach_database)
CONTARDC_STUB_ENTRY(isc_detach_database)
CONTARDC_STUB_ENTRY(isc_database_info)
CONTARDC_STUB_ENTRY(isc_start_multiple)
CONTARDC_STUB_ENTRY(isc_commit_transaction)
CONTARDC_STUB_ENTRY(isc_rollback_transaction)
CONTARDC_STUB_ENTRY(isc_dsql_allocate_statement)
CONTARDC_STUB_ENTRY(isc_dsql_prepare)
CONTARDC_STUB_ENTRY(isc_dsql_describe)
CONTARDC_STUB_ENTRY(isc_dsql_sql_info)
CONTARDC_STUB_ENTRY(isc_dsql_execute)
CONTARDC_STUB_ENTRY(isc_dsql_execute2)
CONTARDC_STUB_ENTRY(isc_dsql_fetch)
CONTARDC_STUB_ENTRY(isc_dsql_free_statement)
CONTARDC_STUB_ENTRY(fb_interpret)
CONTARDC_STUB_ENTRY(isc_sqlcode)
