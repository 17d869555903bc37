<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>AMeasP</name>
    <message>
        <location filename="../window/ameasp.ui" line="+6"/>
        <source>A Meas Point</source>
        <translation>測定点</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>I0</source>
        <translation></translation>
    </message>
    <message>
        <location line="+15"/>
        <source>ICRs</source>
        <translation></translation>
    </message>
    <message>
        <location line="+27"/>
        <location filename="../window/body.cpp" line="+53"/>
        <source>SCAs</source>
        <translation></translation>
    </message>
    <message>
        <location line="-17"/>
        <source>0</source>
        <translation></translation>
    </message>
</context>
<context>
    <name>Body</name>
    <message>
        <location filename="../window/body.ui" line="+6"/>
        <source>Ratelens</source>
        <translation></translation>
    </message>
    <message>
        <location line="+41"/>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Read File(s)</source>
        <translation>ファイル読込</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>I0 Back Ground</source>
        <translation>I0バックグラウンド</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>0</source>
        <translation></translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Tau0s (preAmp)</source>
        <translation>τ0 (preAmp)</translation>
    </message>
    <message>
        <location line="-5"/>
        <source>Taus (Amp)</source>
        <translation>τ (Amp)</translation>
    </message>
    <message>
        <location filename="../window/body.cpp" line="-17"/>
        <source>Fit details...</source>
        <translation>フィット詳細...</translation>
    </message>
    <message>
        <location line="+271"/>
        <source>Nothing saved: no dead times estimated yet</source>
        <translation>保存していません: デッドタイムがまだ推定されていません</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Saved %1 and %2</source>
        <translation>%1 と %2 を保存しました</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+2"/>
        <source>Saved %1, but cannot write %2</source>
        <translation>%1 を保存しましたが、%2 は書き込めません</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Nothing saved: cannot write %1 or %2</source>
        <translation>保存していません: %1 も %2 も書き込めません</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Nothing saved: the folder %1 does not exist</source>
        <translation>保存していません: フォルダ %1 がありません</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>not a regular file</source>
        <translation>通常のファイルではありません</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>cannot be opened</source>
        <translation>開けません</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>no measurement point in it</source>
        <translation>測定点がありません</translation>
    </message>
    <message>
        <location line="+5"/>
        <location line="+1"/>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Not loaded: %1</source>
        <translation>読み込めませんでした: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Not loaded:</source>
        <translation>読み込めませんでした:</translation>
    </message>
    <message>
        <location line="+55"/>
        <source>Channel %1, point %2</source>
        <translation>チャンネル %1、測定点 %2</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>%1, line %2</source>
        <translation>%1、%2 行目</translation>
    </message>
    <message>
        <location line="+85"/>
        <source>Remove this point</source>
        <translation>この測定点を削除</translation>
    </message>
</context>
<context>
    <name>DispA</name>
    <message>
        <location filename="../window/dispa.cpp" line="+135"/>
        <source>Show axes and legend</source>
        <translation>軸と凡例を表示</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Restore data ranges</source>
        <translation>データ範囲に戻す</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Save image...</source>
        <translation>画像を保存...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Copy image</source>
        <translation>画像をコピー</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Save Plot Image</source>
        <translation>プロット画像の保存</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>PNG image (*.png)</source>
        <translation>PNG画像 (*.png)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SVG image (*.svg)</source>
        <translation>SVG画像 (*.svg)</translation>
    </message>
</context>
<context>
    <name>FitDetails</name>
    <message>
        <location filename="../window/fitdetails.cpp" line="+28"/>
        <source>Quadratic</source>
        <translation>二次式</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+11"/>
        <source>Paralyzable</source>
        <translation>麻痺型</translation>
    </message>
    <message>
        <location line="-9"/>
        <location line="+11"/>
        <source>Non-paralyzable</source>
        <translation>非麻痺型</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Indistinguishable</source>
        <translation>区別不能</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Undecided</source>
        <translation>未決定</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>none</source>
        <translation>なし</translation>
    </message>
    <message>
        <location line="+45"/>
        <source>failed</source>
        <translation>失敗</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Channel %1, Tau0 (preAmp)</source>
        <translation>チャンネル %1、Tau0（プリアンプ）</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel %1, Tau (Amp)</source>
        <translation>チャンネル %1、Tau（アンプ）</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Preferred model: %1</source>
        <translation>推奨モデル: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Flags: %1</source>
        <translation>フラグ: %1</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Save the fit table</source>
        <translation>フィット表の保存</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>CSV files (*.csv)</source>
        <translation>CSV ファイル (*.csv)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Fit details</source>
        <translation>フィット詳細</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>All models</source>
        <translation>全モデル</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Channel</source>
        <translation>チャンネル</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Model</source>
        <translation>モデル</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Tau0 ± σ</source>
        <translation>Tau0 ± σ</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Tau ± σ</source>
        <translation>Tau ± σ</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Reduced χ² (I0 → ICR)</source>
        <translation>換算 χ² (I0 → ICR)</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Reduced χ² (ICR → SCA)</source>
        <translation>換算 χ² (ICR → SCA)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Preferred (Tau0)</source>
        <translation>推奨 (Tau0)</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Preferred (Tau)</source>
        <translation>推奨 (Tau)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Flags</source>
        <translation>フラグ</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Copy</source>
        <translation>コピー</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save CSV...</source>
        <translation>CSV 保存...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Model:</source>
        <translation>モデル:</translation>
    </message>
    <message>
        <location line="+77"/>
        <source>No estimation: read at least two measurement points.</source>
        <translation>推定なし: 測定点を 2 点以上読み込んでください。</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normalised residuals (y − fit) / σ of the selected channel; where a model holds they scatter within ±2.</source>
        <translation>選択したチャンネルの規格化残差 (y − フィット) / σ。モデルが合っていれば ±2 の範囲に散らばります。</translation>
    </message>
    <message>
        <location line="+31"/>
        <source>%1, channel %2: against I0</source>
        <translation>%1、チャンネル %2: I0 に対して</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1, channel %2: against ICR</source>
        <translation>%1、チャンネル %2: ICR に対して</translation>
    </message>
    <message>
        <location line="+66"/>
        <source>Cannot write %1: %2</source>
        <translation>%1 に書き込めません: %2</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Saved %1</source>
        <translation>%1 を保存しました</translation>
    </message>
</context>
<context>
    <name>Hdf5Columns</name>
    <message>
        <location filename="../data/hdf5columns.cpp" line="+36"/>
        <source>%1: dataset %2 has %3 dimensions, so it has no column %4: columns are read from datasets of 2 (points x elements)</source>
        <translation>%1: データセット %2 は %3 次元なので列 %4 はありません。列は 2 次元 (点 x 素子) のデータセットから読みます</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: dataset %2 has 2 dimensions (points x elements): name one of its columns, as in %2[0]</source>
        <translation>%1: データセット %2 は 2 次元 (点 x 素子) です。%2[0] のように列を指定してください</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: dataset %2 has %3 dimensions; only 1-D datasets and columns of 2-D ones can be read</source>
        <translation>%1: データセット %2 は %3 次元です。読めるのは 1 次元のデータセットと 2 次元のデータセットの列だけです</translation>
    </message>
    <message>
        <location line="+47"/>
        <source>%1: HDF5 files cannot be read: the helper program %2 does not start (%3)</source>
        <translation>%1: HDF5 ファイルを読めません。補助プログラム %2 が起動しません (%3)</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>%1: the HDF5 reader gave no answer within %2 s and was stopped</source>
        <translation>%1: HDF5 読み取りプロセスが %2 秒以内に応答しなかったため停止しました</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: the HDF5 reader crashed on this file; it may be damaged</source>
        <translation>%1: HDF5 読み取りプロセスがこのファイルで異常終了しました。ファイルが壊れている可能性があります</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1: the HDF5 reader failed (exit status %2)</source>
        <translation>%1: HDF5 読み取りプロセスが失敗しました (終了ステータス %2)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: the HDF5 reader&apos;s answer is malformed: %2</source>
        <translation>%1: HDF5 読み取りプロセスの応答が不正です: %2</translation>
    </message>
    <message>
        <location line="+49"/>
        <source>Cannot open %1: %2</source>
        <translation>%1 を開けません: %2</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>%1: not an HDF5 file</source>
        <translation>%1: HDF5 ファイルではありません</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1: cannot be opened as HDF5; the file is truncated or damaged (%2)</source>
        <translation>%1: HDF5 として開けません。ファイルが途中で切れているか壊れています (%2)</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: no dataset %2</source>
        <translation>%1: データセット %2 がありません</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1: no dataset %2; %3 holds %4</source>
        <translation>%1: データセット %2 がありません。%3 にあるのは %4 です</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1: %2 is not a dataset</source>
        <translation>%1: %2 はデータセットではありません</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1: dataset %2 holds values of HDF5 class %3, not numbers</source>
        <translation>%1: データセット %2 の値は HDF5 クラス %3 で、数値ではありません</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>%1: dataset %2 has %3 columns (0 to %4), so it has no column %5</source>
        <translation>%1: データセット %2 の列は %3 個 (0 から %4) なので列 %5 はありません</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: dataset %2 has %3 points, but %4 has %5</source>
        <translation>%1: データセット %2 は %3 点ですが、%4 は %5 点です</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: dataset %2 cannot be read; the file is damaged (%3)</source>
        <translation>%1: データセット %2 を読めません。ファイルが壊れています (%3)</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1: the datasets asked for hold %2 values, more than the %3 that are read at once</source>
        <translation>%1: 指定したデータセットの値は %2 個で、一度に読める %3 個を超えています</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1: cannot be read as HDF5</source>
        <translation>%1: HDF5 として読めません</translation>
    </message>
</context>
<context>
    <name>Plot</name>
    <message>
        <location filename="../plot/plotaxes.cpp" line="+41"/>
        <source>Channel</source>
        <translation>チャンネル</translation>
    </message>
    <message>
        <location line="+183"/>
        <source>Input count rate against I0</source>
        <translation>I0に対する入力計数率</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>I0</source>
        <translation>I0</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+2"/>
        <source>ICR (Nin)</source>
        <translation>ICR (Nin)</translation>
    </message>
    <message>
        <location line="-1"/>
        <source>Output against input count rate</source>
        <translation>入力計数率に対する出力計数率</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>SCA (Nout)</source>
        <translation>SCA (Nout)</translation>
    </message>
</context>
</TS>
