// The reference reader for the table-scan benchmark: reads every record of one table with
// pxlib and prints its values as comma-separated text, the work `pdx dump` does.
// Memo fields are left out (pxlib 0.6.8 crashes when a memo file is attached) and text is
// printed in the table's own code page (pxlib's conversion is unreliable).
//   bench_pxscan TABLE.DB
extern "C" {
#include <paradox.h>
}

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: bench_pxscan TABLE.DB\n");
        return 2;
    }
    PX_boot();
    pxdoc_t* doc = PX_new();
    if (!doc || PX_open_file(doc, argv[1]) < 0) {
        std::fprintf(stderr, "bench_pxscan: cannot open %s\n", argv[1]);
        return 2;
    }
    const int fields = PX_get_num_fields(doc);
    const int records = PX_get_num_records(doc);
    for (int r = 0; r < records; ++r) {
        pxval_t** values = PX_retrieve_record(doc, r);
        if (!values) {
            std::fprintf(stderr, "bench_pxscan: record %d unreadable\n", r);
            return 1;
        }
        for (int f = 0; f < fields; ++f) {
            const pxval_t* v = values[f];
            if (f) std::fputc(',', stdout);
            if (!v->isnull) {
                switch (v->type) {
                case pxfAlpha: std::fwrite(v->value.str.val, 1, static_cast<size_t>(v->value.str.len), stdout); break;
                case pxfNumber:
                case pxfCurrency:
                case pxfTimestamp: std::printf("%.15g", v->value.dval); break;
                case pxfMemoBLOb: break;
                default: std::printf("%ld", v->value.lval); break;
                }
            }
            if (v->type == pxfAlpha || v->type == pxfMemoBLOb) doc->free(doc, v->value.str.val);
            doc->free(doc, values[f]);
        }
        doc->free(doc, values);
        std::fputc('\n', stdout);
    }
    PX_close(doc);
    PX_delete(doc);
    PX_shutdown();
    std::fprintf(stderr, "%d records\n", records);
    return 0;
}
