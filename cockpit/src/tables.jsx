// The tables of accounts, users and groups, and the membership lists: a filter, sorting and
// pages, so that only one page of rows is ever drawn however many items the file holds.
import React, { useMemo, useState } from 'react';
import {
    Checkbox, Label, Pagination, SearchInput, Switch, Toolbar, ToolbarContent, ToolbarItem,
} from '@patternfly/react-core';
import { Table, Tbody, Td, Th, Thead, Tr } from '@patternfly/react-table';
import { filterRows, findingsOf, itemId, membership, searchTexts } from './draft.js';

export const COLUMNS = {
    pops: [['UserID', 'User ID'], ['Host', 'Mail Server'], ['DefaultGroup', 'Default']],
    users: [['Name', 'Name'], ['Description', 'Description']],
    groups: [['Name', 'Name'], ['Description', 'Description'], ['OutboundAddress', 'Outbound Address']],
};

export function FindingLabels({ findings }) {
    if (!findings.length)
        return null;
    const errors = findings.filter(f => f.level === 'error').length;
    const text = findings.map(f => `${f.level} ${f.code}: ${f.message}`).join('\n');
    return (
        <Label color={errors ? 'red' : 'orange'} isCompact title={text} className="finding-label">
            {errors ? `${errors} error${errors > 1 ? 's' : ''}` : `${findings.length} warning${findings.length > 1 ? 's' : ''}`}
        </Label>);
}

export function ItemTable({ kind, rows, findings, selected, onSelect }) {
    const [filter, setFilter] = useState('');
    const [sort, setSort] = useState({ index: -1, ascending: true });
    const [page, setPage] = useState(1);
    const [perPage, setPerPage] = useState(20);
    const columns = COLUMNS[kind];

    // Each row keeps its place in the file: the position address of a finding.
    const positioned = useMemo(() => rows.map((r, i) => ({ ...r, _position: r._new ? 0 : i + 1 })), [rows]);
    const haystacks = useMemo(() => searchTexts(positioned, columns.map(c => c[0])), [positioned, columns]);
    const shown = useMemo(() => filterRows(positioned, filter, columns.map(c => c[0]),
                                           sort.index >= 0 ? { column: columns[sort.index][0], ascending: sort.ascending } : null,
                                           haystacks),
                          [positioned, filter, sort, columns, haystacks]);
    const first = (page - 1) * perPage;
    const pageRows = shown.slice(first, first + perPage);
    const pagination = (
        <Pagination itemCount={shown.length} page={page} perPage={perPage} isCompact
                    onSetPage={(_e, p) => setPage(p)} onPerPageSelect={(_e, n) => { setPerPage(n); setPage(1) }} />);
    return (
        <>
            <Toolbar>
                <ToolbarContent>
                    <ToolbarItem variant="search-filter">
                        <SearchInput id={`${kind}-filter`} placeholder="Filter" value={filter}
                                     aria-label={`Filter ${kind}`}
                                     onChange={(_e, t) => { setFilter(t); setPage(1) }}
                                     onClear={() => { setFilter(''); setPage(1) }} />
                    </ToolbarItem>
                    <ToolbarItem variant="pagination" align={{ default: 'alignRight' }}>{pagination}</ToolbarItem>
                </ToolbarContent>
            </Toolbar>
            <Table id={`${kind}-table`} aria-label={kind} variant="compact" isStriped>
                <Thead>
                    <Tr>
                        {columns.map(([key, caption], i) =>
                            <Th key={key} sort={{
                                sortBy: { index: sort.index, direction: sort.ascending ? 'asc' : 'desc' },
                                onSort: (_e, index, direction) => setSort({ index, ascending: direction === 'asc' }),
                                columnIndex: i,
                            }}>{caption}</Th>)}
                        <Th>Check</Th>
                    </Tr>
                </Thead>
                <Tbody>
                    {pageRows.map(r => {
                        const id = itemId(kind, r);
                        return (
                            <Tr key={`${id}#${r._position}`} isClickable isRowSelected={selected === id}
                                data-item={id} onRowClick={() => onSelect(id)}>
                                {columns.map(([key, caption]) => <Td key={key} dataLabel={caption}>{r[key]}</Td>)}
                                <Td dataLabel="Check">
                                    {r._new ? <Label isCompact color="blue">new</Label> : null}
                                    <FindingLabels findings={findingsOf(findings, kind, id, r._position)} />
                                </Td>
                            </Tr>);
                    })}
                </Tbody>
            </Table>
        </>);
}

// An account's groups or a group's users: every name with a tick, a filter, "checked only",
// and at most `limit` names drawn (the filter finds the others).
export function MembershipList({ id, allNames, listed, onToggle, limit = 200 }) {
    const [filter, setFilter] = useState('');
    const [checkedOnly, setCheckedOnly] = useState(false);
    const rows = useMemo(() => membership(allNames, listed, filter, checkedOnly),
                         [allNames, listed, filter, checkedOnly]);
    return (
        <div className="membership" id={id}>
            <Toolbar>
                <ToolbarContent>
                    <ToolbarItem>
                        <SearchInput id={`${id}-filter`} placeholder="Filter" value={filter} aria-label="Filter names"
                                     onChange={(_e, t) => setFilter(t)} onClear={() => setFilter('')} />
                    </ToolbarItem>
                    <ToolbarItem>
                        <Switch id={`${id}-checked-only`} label="Checked only" isChecked={checkedOnly}
                                onChange={(_e, on) => setCheckedOnly(on)} />
                    </ToolbarItem>
                    <ToolbarItem>{`${listed.length} checked`}</ToolbarItem>
                </ToolbarContent>
            </Toolbar>
            <div className="membership-names">
                {rows.slice(0, limit).map(r =>
                    <Checkbox key={r.name} id={`${id}-name-${r.name}`} data-name={r.name} isChecked={r.checked}
                              label={r.unknown ? `${r.name} (does not exist)` : r.name}
                              onChange={(_e, on) => onToggle(r.name, on)} />)}
                {rows.length > limit ? <p className="membership-more">{`${rows.length - limit} more: narrow the filter`}</p> : null}
            </div>
        </div>);
}
