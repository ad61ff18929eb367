#!/usr/bin/env bash
# Sets up the machine, builds, and runs on a demonstration data root.
#
# The desktop program is not built yet; until it is, this shows the table
# engine at work: it creates a small demonstration company's client table in
# ./demo, loads clients into it, checks it and prints it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target pdxtool

tool=build/default/tools/pdxtool/pdxtool
demo=demo/data1
rm -rf demo
mkdir -p "$demo"
cat > demo/client.schema <<'SCHEMA'
key=1
Cli_code:A10
Cli_name:A40
Cli_city:A30
Cli_terms:I
Cli_balance:$
Cli_since:D
SCHEMA
printf 'Cli_code\tCli_name\tCli_city\tCli_terms\tCli_balance\tCli_since\n' > demo/client.tsv
printf 'BOUL01\tBoulangerie Côté\tQuébec\t30\t1250.75\t2019-04-01\n' >> demo/client.tsv
printf 'GARA02\tGarage Lévesque & fils\tTrois-Rivières\t15\t-80.5\t2021-11-15\n' >> demo/client.tsv
printf 'MAPL03\tMaple Hardware Ltd.\tOttawa\t45\t0\t2023-06-30\n' >> demo/client.tsv

"$tool" create "$demo/client" demo/client.schema
"$tool" load "$demo/client" demo/client.tsv
"$tool" check "$demo/client"
"$tool" info "$demo/client"
"$tool" dump "$demo/CLIENT.DB"
